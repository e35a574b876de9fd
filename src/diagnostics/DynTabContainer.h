#pragma once

#include "diagnostics/DynControl.h"

#include <QWidget>

#include <vector>

class QTabBar;

namespace tellvane {

// A tab container: a row of page tabs over pages that all span the whole
// control, so that a control's Top and Left on a page are measured from the
// container's own corner.
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
    // Where the row of tabs lies; controls of the pages under it are hidden.
    QRect tabStrip() const;

protected:
    void applyOwn(Property property, const QVariant& value) override;
    void coloursChanged() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setPageCount(int count);
    void setCurrent(int index);
    void layoutPages();

    QTabBar* m_bar;
    std::vector<QWidget*> m_pages;
    int m_current = 0;
    int m_tabsPerRow = 0;
};

}  // namespace tellvane
