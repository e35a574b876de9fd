#include "plot/PlotLegend.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace tellvane {

namespace {
constexpr int kMarkPixels = 12;
constexpr int kColumnGap = 18;
}  // namespace

PlotLegend::PlotLegend(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PlotLegend"));
    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setHorizontalSpacing(kColumnGap);
    m_grid->setVerticalSpacing(2);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

void PlotLegend::addEntry(const QColor& colour, const QString& text)
{
    Entry entry;
    entry.box = new QWidget(this);
    auto* row = new QHBoxLayout(entry.box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* mark = new QLabel(entry.box);
    mark->setFixedSize(kMarkPixels, kMarkPixels);
    mark->setAutoFillBackground(true);
    QPalette palette = mark->palette();
    palette.setColor(QPalette::Window, colour);
    mark->setPalette(palette);
    entry.text = new QLabel(text, entry.box);
    entry.text->setObjectName(QStringLiteral("PlotLegendEntry"));
    entry.text->setTextFormat(Qt::PlainText);
    row->addWidget(mark);
    row->addWidget(entry.text, 1);
    m_entries.push_back(entry);
    arrange(columnsFor(width()));
}

void PlotLegend::setEntry(int i, const QString& text, bool ended)
{
    QLabel* label = m_entries.at(static_cast<std::size_t>(i)).text;
    label->setText(text);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ended ? palette.color(QPalette::Disabled, QPalette::WindowText)
                                                 : this->palette().color(QPalette::WindowText));
    label->setPalette(palette);
    // A longer name may need another column's room.
    arrange(columnsFor(width()));
}

int PlotLegend::widestEntry() const
{
    int widest = 1;
    for (const Entry& e : m_entries)
        widest = std::max(widest, e.box->sizeHint().width());
    return widest;
}

QSize PlotLegend::minimumSizeHint() const
{
    return {widestEntry(), m_grid->minimumSize().height()};
}

QSize PlotLegend::sizeHint() const
{
    return minimumSizeHint();
}

int PlotLegend::columnsFor(int width) const
{
    const int widest = widestEntry();
    const int n = std::max(1, static_cast<int>(m_entries.size()));
    return std::clamp((width + kColumnGap) / (widest + kColumnGap), 1, n);
}

void PlotLegend::arrange(int columns)
{
    if (columns == m_columns && m_grid->count() == static_cast<int>(m_entries.size()))
        return;
    m_columns = columns;
    for (const Entry& e : m_entries)
        m_grid->removeWidget(e.box);
    for (int c = 0; c < m_grid->columnCount(); ++c)
        m_grid->setColumnStretch(c, 0);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const int index = static_cast<int>(i);
        m_grid->addWidget(m_entries[i].box, index / columns, index % columns);
    }
    // The columns keep to the left; what is left over lies beyond the last.
    m_grid->setColumnStretch(columns, 1);
    updateGeometry();
}

void PlotLegend::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(columnsFor(event->size().width()));
}

}  // namespace tellvane
