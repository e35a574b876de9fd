#pragma once

#include <QChartView>
#include <QPoint>
#include <QRectF>

class QRubberBand;

namespace tellvane {

// The chart of a plot window and what the mouse does on it: a rectangle
// dragged with the left button zooms to it, the wheel zooms the time around
// the pointer, a double click goes back to the live view; the pointer's place
// is reported for the readout.
class PlotChartView final : public QChartView {
    Q_OBJECT

public:
    explicit PlotChartView(QChart* chart, QWidget* parent = nullptr);

signals:
    // In the chart's coordinates.
    void zoomRequested(const QRectF& area);
    void wheelZoomRequested(const QPointF& at, double factor);
    void liveRequested();
    void pointerMoved(const QPointF& at);
    void pointerLeft();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPointF chartPoint(QPoint viewPoint) const;

    QRubberBand* m_band = nullptr;
    QPoint m_origin;
    bool m_dragging = false;
};

}  // namespace tellvane
