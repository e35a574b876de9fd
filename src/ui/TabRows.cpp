#include "ui/TabRows.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTab>
#include <QTabBar>

#include <algorithm>

namespace tellvane {

TabRows::TabRows(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TabRows::setCaptions(const QStringList& captions)
{
    m_captions = captions;
    if (m_current >= count())
        m_current = count() - 1;
    if (m_current < 0 && count() > 0)
        m_current = 0;
    m_hover = -1;
    updateGeometry();
    update();
}

void TabRows::setTabsPerRow(int tabs)
{
    m_tabsPerRow = tabs;
    updateGeometry();
    update();
}

int TabRows::perRow() const
{
    return m_tabsPerRow > 0 ? m_tabsPerRow : std::max(count(), 1);
}

int TabRows::rowCount() const
{
    return std::max(1, (count() + perRow() - 1) / perRow());
}

int TabRows::rowHeight() const
{
    // Measured as a tab bar measures a tab with a caption and no icon, so
    // that a row here is as high as the single row of a tab bar.
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    const int vspace = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this);
    const QSize contents(fontMetrics().height(), fontMetrics().height() + vspace);
    return style()->sizeFromContents(QStyle::CT_TabBarTab, &option, contents, this).height();
}

void TabRows::setCurrentIndex(int index)
{
    if (index < 0 || index >= count() || index == m_current)
        return;
    m_current = index;
    update();
}

QRect TabRows::tabRect(int index) const
{
    if (index < 0 || index >= count())
        return {};
    const int n = perRow();
    const int rows = rowCount();
    const int currentRow = std::max(m_current, 0) / n;
    const int line = (index / n - currentRow + rows - 1) % rows;  // counted from the top
    const int column = index % n;
    const int left = column * width() / n;
    const int right = (column + 1) * width() / n;
    const int height = rowHeight();
    return {left, line * height, right - left, height};
}

int TabRows::tabAt(const QPoint& pos) const
{
    for (int i = 0; i < count(); ++i) {
        if (tabRect(i).contains(pos))
            return i;
    }
    return -1;
}

QSize TabRows::sizeHint() const
{
    QStyleOptionTab option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    const int hspace = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this);
    int widest = 0;
    for (const QString& caption : m_captions)
        widest = std::max(widest, fontMetrics().size(Qt::TextShowMnemonic, caption).width() + hspace);
    return {widest * perRow(), rowCount() * rowHeight()};
}

QSize TabRows::minimumSizeHint() const
{
    return {perRow() * fontMetrics().averageCharWidth() * 4, rowCount() * rowHeight()};
}

void TabRows::choose(int index)
{
    if (index < 0 || index >= count() || index == m_current)
        return;
    setCurrentIndex(index);
    emit currentChanged(index);
}

void TabRows::paintTab(QPainter& painter, int index) const
{
    QStyleOptionTab option;
    option.initFrom(this);
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    option.shape = QTabBar::RoundedNorth;
    option.rect = tabRect(index);
    option.tabIndex = index;
    const int n = perRow();
    const bool first = index % n == 0;
    const bool last = index % n == n - 1 || index == count() - 1;
    option.position = first && last ? QStyleOptionTab::OnlyOneTab
        : first                    ? QStyleOptionTab::Beginning
        : last                     ? QStyleOptionTab::End
                                   : QStyleOptionTab::Middle;
    if (index == m_current) {
        option.state |= QStyle::State_Selected;
        if (hasFocus())
            option.state |= QStyle::State_HasFocus;
    } else if (m_current / n == index / n) {
        if (m_current == index - 1)
            option.selectedPosition = QStyleOptionTab::PreviousIsSelected;
        else if (m_current == index + 1)
            option.selectedPosition = QStyleOptionTab::NextIsSelected;
    }
    if (index == m_hover && isEnabled())
        option.state |= QStyle::State_MouseOver;
    const int hspace = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this);
    option.text = fontMetrics().elidedText(m_captions.at(index), Qt::ElideRight, option.rect.width() - hspace,
                                           Qt::TextShowMnemonic);
    style()->drawControl(QStyle::CE_TabBarTab, &option, &painter, this);
}

void TabRows::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Back rows first, so that each row's tabs cover the feet of those
    // behind them; the current tab last, over its neighbours.
    const int height = rowHeight();
    for (int line = 0; line < rowCount(); ++line) {
        for (int i = 0; i < count(); ++i) {
            if (i != m_current && tabRect(i).top() == line * height)
                paintTab(painter, i);
        }
    }
    if (m_current >= 0)
        paintTab(painter, m_current);
}

void TabRows::mousePressEvent(QMouseEvent* event)
{
    const int index = event->button() == Qt::LeftButton ? tabAt(event->position().toPoint()) : -1;
    if (index < 0) {
        event->ignore();
        return;
    }
    choose(index);
}

void TabRows::mouseMoveEvent(QMouseEvent* event)
{
    const int hover = tabAt(event->position().toPoint());
    if (hover != m_hover) {
        m_hover = hover;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void TabRows::leaveEvent(QEvent* event)
{
    m_hover = -1;
    update();
    QWidget::leaveEvent(event);
}

void TabRows::keyPressEvent(QKeyEvent* event)
{
    if (count() == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int n = perRow();
    const int rows = rowCount();
    const int column = m_current % n;
    int next = m_current;
    switch (event->key()) {
    case Qt::Key_Left:
        next = m_current - 1;
        break;
    case Qt::Key_Right:
        next = m_current + 1;
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = count() - 1;
        break;
    case Qt::Key_Up:  // the row drawn above, in the same place or the last of a short row
        next = std::min(((m_current / n + rows - 1) % rows) * n + column, count() - 1);
        break;
    case Qt::Key_Down:
        next = std::min(((m_current / n + 1) % rows) * n + column, count() - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    choose(next);
}

}  // namespace tellvane
