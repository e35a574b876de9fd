#include "diagnostics/DynTabContainer.h"

#include "diagnostics/ScreenDefinition.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <algorithm>

namespace tellvane {

DynTabContainer::DynTabContainer(QWidget* parent) : QWidget(parent), m_bar(new QTabBar(this))
{
    m_bar->setObjectName(QStringLiteral("qt_tabbar"));
    m_bar->setDrawBase(false);
    m_bar->setUsesScrollButtons(true);
    setPageCount(1);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index != m_current)
            setCurrent(index);
    });
}

void DynTabContainer::applyDefinition(const ControlDefinition& definition)
{
    const QStringList& captions = definition.pageCaptions();
    setPageCount(static_cast<int>(captions.size()));
    for (int i = 0; i < captions.size(); ++i)
        m_bar->setTabText(i, captions.at(i));
    setCurrent(definition.currentPage());
    DynControl::applyDefinition(definition);
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
    m_bar->raise();
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
    m_bar->raise();
}

QRect DynTabContainer::tabStrip() const
{
    return m_bar->geometry();
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
    frame.rect = rect().adjusted(0, m_bar->height() - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->size();
    if (m_back >= 0)
        painter.fillRect(frame.rect, colourFromValue(m_back));
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
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
    update();
}

}  // namespace tellvane
