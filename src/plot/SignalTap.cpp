#include "plot/SignalTap.h"

#include "plot/PlotSeries.h"
#include "plot/TimeLine.h"
#include "plot/ValueCsv.h"

#include <algorithm>

namespace tellvane {

ValueScale SignalTap::scaleOf(const dbc::Signal& signal)
{
    // A one-bit flag of factor 1 is drawn in steps between 0 and 1, as a lamp.
    const bool flag = signal.length == 1 && signal.type == dbc::Signal::Type::Integer && signal.factor == 1.0
                      && signal.offset == 0.0;
    return ValueScale::exact(flag ? ValueScale::Kind::Lamp : ValueScale::Kind::Linear, signal.factor, signal.offset);
}

std::unique_ptr<PlotSeries> SignalTap::seriesOf(const dbc::Signal& signal)
{
    using Raw = PlotSeries::Raw;
    const bool narrow = signal.type == dbc::Signal::Type::Integer && signal.length <= 32;
    const Raw raw = !narrow ? Raw::Double : signal.isSigned ? Raw::Signed32 : Raw::Unsigned32;
    return std::make_unique<PlotSeries>(scaleOf(signal), raw);
}

void SignalTap::addSeries(const dbc::SignalRef& signal, PlotSeries* series, TimeLine* timeLine)
{
    if (!series || !signal.valid())
        return;
    if (std::any_of(m_watches.begin(), m_watches.end(), [series](const Watch& w) { return w.series == series; }))
        return;
    m_watches.push_back({signal, series, timeLine, -1});
    watchesChanged();
}

void SignalTap::removeSeries(const PlotSeries* series)
{
    m_watches.erase(std::remove_if(m_watches.begin(), m_watches.end(),
                                   [series](const Watch& w) { return w.series && w.series == series; }),
                    m_watches.end());
    watchesChanged();
}

std::vector<PlotSeries*> SignalTap::series() const
{
    std::vector<PlotSeries*> all;
    for (const Watch& w : m_watches) {
        if (w.series)
            all.push_back(w.series);
    }
    return all;
}

std::unique_ptr<ValueRecorder> SignalTap::recorderFor(const std::vector<dbc::SignalRef>& signalList)
{
    std::vector<ValueRecorder::Column> columns;
    for (const dbc::SignalRef& s : signalList) {
        if (columns.size() == kMostRecorded)
            break;
        columns.push_back({csv::field(s.key()), scaleOf(*s.signal)});
    }
    return std::make_unique<ValueRecorder>(std::move(columns));
}

void SignalTap::setRecorder(std::unique_ptr<ValueRecorder> recorder, const std::vector<dbc::SignalRef>& signalList)
{
    takeRecorder();
    if (!recorder)
        return;
    m_recorder = std::move(recorder);
    int column = 0;
    for (const dbc::SignalRef& s : signalList) {
        if (static_cast<std::size_t>(column) == kMostRecorded)
            break;
        if (s.valid())
            m_watches.push_back({s, nullptr, nullptr, column});
        ++column;
    }
    watchesChanged();
}

std::unique_ptr<ValueRecorder> SignalTap::takeRecorder()
{
    m_watches.erase(std::remove_if(m_watches.begin(), m_watches.end(), [](const Watch& w) { return !w.series; }),
                    m_watches.end());
    watchesChanged();
    return std::move(m_recorder);
}

bool SignalTap::idle() const
{
    return std::none_of(m_watches.begin(), m_watches.end(), [](const Watch& w) { return w.series; })
           && !(m_recorder && m_recorder->isOpen());
}

void SignalTap::traceMessage(const CanMessage& message, bool sent)
{
    take(traceFrameOf(message, sent));
}

const std::vector<std::uint32_t>& SignalTap::watchesOf(const TraceFrame& frame)
{
    const std::uint32_t key = frame.id | (frame.extended() ? 0x80000000u : 0u);
    if (const auto it = m_byIdentifier.find(key); it != m_byIdentifier.end())
        return it->second;
    if (m_byIdentifier.size() >= kMostIdentifiers)
        m_byIdentifier.clear();
    std::vector<std::uint32_t> found;
    for (std::size_t i = 0; i < m_watches.size(); ++i) {
        if (m_watches[i].signal.readsFrom(frame))
            found.push_back(static_cast<std::uint32_t>(i));
    }
    // Watches of one message together: its frame is decoded once for them.
    std::stable_sort(found.begin(), found.end(), [this](std::uint32_t a, std::uint32_t b) {
        return m_watches[a].signal.message < m_watches[b].signal.message;
    });
    return m_byIdentifier.emplace(key, std::move(found)).first->second;
}

void SignalTap::take(const TraceFrame& frame)
{
    if (m_watches.empty() || (frame.flags & (TraceFrame::Remote | TraceFrame::Error)))
        return;
    const dbc::Message* decodedFor = nullptr;
    for (const std::uint32_t index : watchesOf(frame)) {
        const Watch& w = m_watches[index];
        if (w.signal.message != decodedFor) {
            decodedFor = w.signal.message;
            dbc::decode(*decodedFor, frame, m_decoded);
        }
        // A multiplexed signal the frame does not select, or one beyond its length, is not in it.
        const auto hit = std::find_if(m_decoded.begin(), m_decoded.end(),
                                      [&w](const dbc::DecodedSignal& d) { return d.signal == w.signal.signal; });
        if (hit == m_decoded.end())
            continue;
        const double raw = w.signal.signal->rawValue(hit->bits);
        if (w.series) {
            if (!w.timeLine || w.timeLine->take(frame.line))
                w.series->append(frame.timeUs, raw);
        } else if (m_recorder) {
            m_recorder->record(DecodedValue{static_cast<std::int16_t>(w.column), raw, hit->value,
                                            LineTime{frame.line, frame.timeUs}});
        }
    }
}

}  // namespace tellvane
