#pragma once

#include <QStringList>
#include <QWidget>

namespace tellvane {

// Page tabs wrapped onto rows of a fixed number of tabs, each row's width
// shared out evenly among its places. The row holding the current tab lies
// at the bottom, next to the page, and the rows after it move to the top in
// turn, as on the classic multi-row tab control.
class TabRows final : public QWidget {
    Q_OBJECT

public:
    explicit TabRows(QWidget* parent = nullptr);

    void setCaptions(const QStringList& captions);
    QString caption(int index) const { return m_captions.value(index); }
    int count() const { return static_cast<int>(m_captions.size()); }
    // 0 or less puts every tab in one row.
    void setTabsPerRow(int tabs);
    int rowCount() const;
    // The height of one row, as the style draws a tab of this font.
    int rowHeight() const;

    int currentIndex() const { return m_current; }
    // Sets the current tab without a signal; nothing for one it does not have.
    void setCurrentIndex(int index);

    QRect tabRect(int index) const;
    int tabAt(const QPoint& pos) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user chose another tab, by mouse or key.
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int perRow() const;
    void choose(int index);
    void paintTab(QPainter& painter, int index) const;

    QStringList m_captions;
    int m_tabsPerRow = 0;
    int m_current = -1;
    int m_hover = -1;
};

}  // namespace tellvane
