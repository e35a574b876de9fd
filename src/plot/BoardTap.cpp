#include "plot/BoardTap.h"

#include "plot/PlotSeries.h"

#include <algorithm>

namespace tellvane {

BoardTap::BoardTap(ClosedHandler closed) : m_closed(std::move(closed)) {}

void BoardTap::addSeries(std::int16_t cntrlIndex, PlotSeries* series)
{
    if (cntrlIndex < 0 || !series)
        return;
    const auto index = static_cast<std::size_t>(cntrlIndex);
    if (m_byControl.size() <= index)
        m_byControl.resize(index + 1);
    std::vector<PlotSeries*>& listeners = m_byControl[index];
    if (std::find(listeners.begin(), listeners.end(), series) == listeners.end())
        listeners.push_back(series);
}

void BoardTap::removeSeries(const PlotSeries* series)
{
    for (std::vector<PlotSeries*>& listeners : m_byControl)
        listeners.erase(std::remove(listeners.begin(), listeners.end(), series), listeners.end());
}

std::vector<PlotSeries*> BoardTap::series() const
{
    std::vector<PlotSeries*> all;
    for (const std::vector<PlotSeries*>& listeners : m_byControl)
        all.insert(all.end(), listeners.begin(), listeners.end());
    return all;
}

bool BoardTap::idle() const
{
    const bool plotted = std::any_of(m_byControl.begin(), m_byControl.end(),
                                     [](const std::vector<PlotSeries*>& listeners) { return !listeners.empty(); });
    return !plotted && !(m_recorder && m_recorder->isOpen());
}

void BoardTap::valueDecoded(const DecodedValue& value)
{
    const auto index = static_cast<std::size_t>(value.cntrlIndex);
    if (value.cntrlIndex >= 0 && index < m_byControl.size()) {
        for (PlotSeries* series : m_byControl[index])
            series->append(value.time.us, value.raw);
    }
    if (m_recorder)
        m_recorder->record(value.time.us, value);
}

void BoardTap::screenClosed()
{
    if (m_recorder)
        m_recorder->close();
    // The handler may delete this tap: nothing after it.
    if (m_closed)
        m_closed(*this);
}

}  // namespace tellvane
