#include "plot/BoardTap.h"

#include "plot/PlotSeries.h"
#include "plot/TimeLine.h"

#include <algorithm>

namespace tellvane {

BoardTap::BoardTap(ClosedHandler closed, RebuiltHandler rebuilt)
    : m_closed(std::move(closed)), m_rebuilt(std::move(rebuilt))
{
}

void BoardTap::addSeries(std::int16_t cntrlIndex, PlotSeries* series, TimeLine* timeLine)
{
    if (cntrlIndex < 0 || !series)
        return;
    const auto index = static_cast<std::size_t>(cntrlIndex);
    if (m_byControl.size() <= index)
        m_byControl.resize(index + 1);
    std::vector<Listener>& listeners = m_byControl[index];
    if (std::none_of(listeners.begin(), listeners.end(), [series](const Listener& l) { return l.series == series; }))
        listeners.push_back({series, timeLine});
}

void BoardTap::removeSeries(const PlotSeries* series)
{
    for (std::vector<Listener>& listeners : m_byControl) {
        listeners.erase(std::remove_if(listeners.begin(), listeners.end(),
                                       [series](const Listener& l) { return l.series == series; }),
                        listeners.end());
    }
}

std::vector<PlotSeries*> BoardTap::series() const
{
    std::vector<PlotSeries*> all;
    for (const std::vector<Listener>& listeners : m_byControl) {
        for (const Listener& l : listeners)
            all.push_back(l.series);
    }
    return all;
}

bool BoardTap::idle() const
{
    const bool plotted = std::any_of(m_byControl.begin(), m_byControl.end(),
                                     [](const std::vector<Listener>& listeners) { return !listeners.empty(); });
    return !plotted && !(m_recorder && m_recorder->isOpen());
}

void BoardTap::valueDecoded(const DecodedValue& value)
{
    const auto index = static_cast<std::size_t>(value.cntrlIndex);
    if (value.cntrlIndex >= 0 && index < m_byControl.size()) {
        for (const Listener& l : m_byControl[index]) {
            if (!l.timeLine || l.timeLine->take(value.time.line))
                l.series->append(value.time.us, value.raw);
        }
    }
    if (m_recorder)
        m_recorder->record(value);
}

void BoardTap::screenClosed()
{
    if (m_recorder)
        m_recorder->close();
    // The handler may delete this tap: nothing after it.
    if (m_closed)
        m_closed(*this);
}

void BoardTap::screenRebuilt(const ScreenDefinition& before, const ScreenDefinition& after)
{
    const std::vector<IndicatorInfo> was = screenIndicators(before);
    const std::vector<IndicatorInfo> now = screenIndicators(after);
    const std::vector<int> found = indicatorsAfterRebuild(was, now);
    std::vector<std::vector<Listener>> byControl;
    std::vector<Kept> kept;
    for (std::size_t i = 0; i < was.size(); ++i) {
        const auto index = static_cast<std::size_t>(was[i].cntrlIndex);
        if (found[i] < 0 || index >= m_byControl.size() || m_byControl[index].empty())
            continue;
        const IndicatorInfo& again = now[static_cast<std::size_t>(found[i])];
        const auto newIndex = static_cast<std::size_t>(again.cntrlIndex);
        if (byControl.size() <= newIndex)
            byControl.resize(newIndex + 1);
        for (const Listener& l : m_byControl[index]) {
            byControl[newIndex].push_back(l);
            kept.push_back({l.series, again});
        }
        m_byControl[index].clear();
    }
    // What was not found has ended.
    std::vector<PlotSeries*> ended = series();
    m_byControl = std::move(byControl);
    if (m_recorder)
        m_recorder->setIndicators(now);
    // The handler may delete this tap: nothing after it.
    if (m_rebuilt)
        m_rebuilt(*this, kept, ended);
}

}  // namespace tellvane
