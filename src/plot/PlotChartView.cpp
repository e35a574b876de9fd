#include "plot/PlotChartView.h"

#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tellvane {

PlotChartView::PlotChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent)
{
    setMouseTracking(true);
    setRubberBand(QChartView::NoRubberBand);  // the zoom is the window's, over every axis it has
    m_band = new QRubberBand(QRubberBand::Rectangle, this);
}

QPointF PlotChartView::chartPoint(QPoint viewPoint) const
{
    return chart()->mapFromScene(mapToScene(viewPoint));
}

void PlotChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && chart()->plotArea().contains(chartPoint(event->position().toPoint()))) {
        m_origin = event->position().toPoint();
        m_dragging = true;
        m_band->setGeometry(QRect(m_origin, QSize()));
        m_band->show();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void PlotChartView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_dragging)
        m_band->setGeometry(QRect(m_origin, at).normalized());
    emit pointerMoved(chartPoint(at));
    QChartView::mouseMoveEvent(event);
}

void PlotChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        m_band->hide();
        const QRect dragged = QRect(m_origin, event->position().toPoint()).normalized();
        // A click, or a stroke too thin to mean a rectangle, zooms nothing.
        constexpr int kLeast = 5;
        if (dragged.width() >= kLeast && dragged.height() >= kLeast) {
            const QRectF area(chartPoint(dragged.topLeft()), chartPoint(dragged.bottomRight()));
            emit zoomRequested(area.normalized().intersected(chart()->plotArea()));
        }
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void PlotChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        m_band->hide();
        emit liveRequested();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void PlotChartView::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) {
        event->ignore();
        return;
    }
    // Forward (away from the hand) brings the time closer: a shorter stretch.
    emit wheelZoomRequested(chartPoint(event->position().toPoint()), std::pow(0.8, std::clamp(steps, -10, 10)));
    event->accept();
}

void PlotChartView::leaveEvent(QEvent* event)
{
    emit pointerLeft();
    QChartView::leaveEvent(event);
}

}  // namespace tellvane
