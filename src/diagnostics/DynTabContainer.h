#pragma once

#include "diagnostics/DynControl.h"

#include <QWidget>

#include <vector>

class QTabBar;

namespace tellvane {

class TabRows;

// A tab container: page tabs over pages that all span the whole control, so
// that a control's Top and Left on a page are measured from the container's
// own corner. The tabs lie in one row, or, when there are more of them than
// TabsPerRow, in as many rows as they need.
class DynTabContainer final : public QWidget, public DynControl {
public:
    explicit DynTabContainer(QWidget* parent);
    QWidget* widget() override { return this; }
    ControlKind kind() const override { return ControlKind::TabContainer; }
    QWidget* childParent(int page) override;
    void applyDefinition(const ControlDefinition& definition) override;

    int pageCount() const { return static_cast<int>(m_pages.size()); }
    int currentPage() const { return m_current; }
    // Shows a page, as a click on its tab does; nothing for one it does not have.
    void showPage(int index);
    QWidget* page(int index) const { return m_pages.at(static_cast<std::size_t>(index)); }
    QString pageCaption(int index) const;
    // The page a widget made inside this container lies on, or -1.
    int pageOf(const QWidget* child) const;
    // Where the tabs lie; controls of the pages under them are hidden.
    QRect tabStrip() const;
    // The rows of tabs: 1 unless TabsPerRow wraps them.
    int tabRowCount() const;

protected:
    void applyOwn(Property property, const QVariant& value) override;
    void coloursChanged() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setPageCount(int count);
    void setCurrent(int index);
    void layoutPages();
    bool wraps() const;
    QWidget* strip() const;

    QTabBar* m_bar;  // the captions, and the tabs while they fit in one row
    TabRows* m_rows;
    std::vector<QWidget*> m_pages;
    int m_current = 0;
    int m_tabsPerRow = 0;
};

}  // namespace tellvane
