#include "diagnostics/DynTabContainer.h"

#include "diagnostics/ScreenDefinition.h"
#include "ui/TabRows.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <algorithm>

namespace tellvane {

DynTabContainer::DynTabContainer(QWidget* parent)
    : QWidget(parent), m_bar(new QTabBar(this)), m_rows(new TabRows(this))
{
    m_bar->setObjectName(QStringLiteral("qt_tabbar"));
    m_bar->setDrawBase(false);
    m_bar->setUsesScrollButtons(true);
    m_rows->setObjectName(QStringLiteral("qt_tabrows"));
    m_rows->hide();
    setPageCount(1);
    const auto chosen = [this](int index) {
        if (index >= 0 && index != m_current)
            setCurrent(index);
    };
    connect(m_bar, &QTabBar::currentChanged, this, chosen);
    connect(m_rows, &TabRows::currentChanged, this, chosen);
}

void DynTabContainer::applyDefinition(const ControlDefinition& definition)
{
    const QStringList& captions = definition.pageCaptions();
    setPageCount(static_cast<int>(captions.size()));
    for (int i = 0; i < captions.size(); ++i)
        m_bar->setTabText(i, captions.at(i));
    setCurrent(definition.currentPage());
    DynControl::applyDefinition(definition);
    layoutPages();
}

QWidget* DynTabContainer::childParent(int page)
{
    return m_pages.at(static_cast<std::size_t>(std::clamp(page, 0, pageCount() - 1)));
}

QString DynTabContainer::pageCaption(int index) const
{
    return m_bar->tabText(index);
}

int DynTabContainer::pageOf(const QWidget* child) const
{
    for (const QWidget* w = child; w; w = w->parentWidget()) {
        for (std::size_t i = 0; i < m_pages.size(); ++i) {
            if (m_pages[i] == w)
                return static_cast<int>(i);
        }
    }
    return -1;
}

void DynTabContainer::setPageCount(int count)
{
    count = std::max(count, 1);
    while (static_cast<int>(m_pages.size()) < count) {
        auto* page = new QWidget(this);
        page->setObjectName(QStringLiteral("qt_page_%1").arg(m_pages.size()));
        m_pages.push_back(page);
        m_bar->addTab(QStringLiteral("Tab %1").arg(m_pages.size() - 1));
    }
    while (static_cast<int>(m_pages.size()) > count) {
        delete m_pages.back();
        m_pages.pop_back();
        m_bar->removeTab(m_bar->count() - 1);
    }
    if (m_current >= count)
        setCurrent(count - 1);
    layoutPages();
}

void DynTabContainer::showPage(int index)
{
    if (index >= 0 && index < pageCount())
        setCurrent(index);
}

void DynTabContainer::setCurrent(int index)
{
    m_current = index;
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(static_cast<int>(i) == index);
    {
        const QSignalBlocker block(m_bar);
        m_bar->setCurrentIndex(index);
    }
    m_rows->setCurrentIndex(index);
    strip()->raise();
    update();  // the frame meets the tabs at the current row
}

bool DynTabContainer::wraps() const
{
    return m_tabsPerRow > 0 && pageCount() > m_tabsPerRow;
}

QWidget* DynTabContainer::strip() const
{
    return wraps() ? static_cast<QWidget*>(m_rows) : m_bar;
}

int DynTabContainer::tabRowCount() const
{
    return wraps() ? m_rows->rowCount() : 1;
}

void DynTabContainer::layoutPages()
{
    for (QWidget* page : m_pages)
        page->setGeometry(rect());
    int tabWidth = 0;
    if (m_tabsPerRow > 0)
        tabWidth = std::max(24, width() / m_tabsPerRow);
    m_bar->setStyleSheet(tabWidth > 0 ? QStringLiteral("QTabBar::tab { width: %1px; }").arg(tabWidth - 4) : QString());
    m_bar->setGeometry(0, 0, width(), m_bar->sizeHint().height());
    // More tabs than a row takes: one tab bar cannot wrap them, the rows do.
    QStringList captions;
    for (int i = 0; i < m_bar->count(); ++i)
        captions.append(m_bar->tabText(i));
    m_rows->setCaptions(captions);
    m_rows->setTabsPerRow(m_tabsPerRow);
    m_rows->setCurrentIndex(m_current);
    m_rows->setGeometry(0, 0, width(), m_rows->sizeHint().height());
    m_bar->setVisible(!wraps());
    m_rows->setVisible(wraps());
    strip()->raise();
    update();
}

QRect DynTabContainer::tabStrip() const
{
    return strip()->geometry();
}

void DynTabContainer::resizeEvent(QResizeEvent*)
{
    layoutPages();
}

void DynTabContainer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const QWidget* tabs = strip();
    frame.rect = rect().adjusted(0, tabs->height() - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = tabs->size();
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
    // The style fills the frame with its own colour; the back colour goes
    // over that, inside the frame's edge, where the pages show.
    if (m_back >= 0) {
        const int edge = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
        painter.fillRect(frame.rect.adjusted(edge, edge, -edge, -edge), colourFromValue(m_back));
    }
}

void DynTabContainer::applyOwn(Property property, const QVariant& value)
{
    // Pages, their captions and the current page come with the whole definition.
    if (property == Property::TabsPerRow) {
        m_tabsPerRow = value.toInt();
        layoutPages();
    }
}

void DynTabContainer::coloursChanged()
{
    setPaletteColours(m_bar, -1, m_fore);  // the captions of the tabs
    setPaletteColours(m_rows, -1, m_fore);
    update();
}

}  // namespace tellvane
