#include "logs/LogReplay.h"

#include "can/CanLink.h"
#include "can/CanMessage.h"

#include <QFileInfo>

namespace tellvane {

ReplaySend sendReplayedFrame(CanLink& link, const TraceFrame& frame)
{
    if (frame.flags & (TraceFrame::Remote | TraceFrame::Error))
        return ReplaySend::NotSendable;
    const std::uint32_t idAsSent = frame.id | (frame.extended() ? can::kExtendedFrame : 0);
    return link.sendLogged(idAsSent, frame.length, frame.data.data()) == 1 ? ReplaySend::Sent : ReplaySend::Failed;
}

std::vector<TraceLogWarning> LogReplay::takeWarnings()
{
    std::vector<TraceLogWarning> warnings = std::move(m_warnings);
    m_warnings.clear();
    if (m_reader) {
        for (TraceLogWarning& warning : m_reader->takeWarnings()) {
            if (!m_repeating)
                warnings.push_back(std::move(warning));
        }
    }
    return warnings;
}

void LogReplay::close()
{
    if (m_reader) {
        m_error = m_reader->errorString();
        m_dropped = droppedWarnings();
    }
    m_repeating = false;
    m_player.reset();
    m_reader.reset();
}

bool LogReplay::open(const QString& fileName)
{
    m_player.reset();
    m_reader.reset();
    m_warnings.clear();
    m_dropped = 0;
    m_repeating = false;
    m_fileName = fileName;
    const TraceLogFormat format = traceLogFormatOf(fileName);
    if (format == TraceLogFormat::Unknown) {
        m_error = QStringLiteral("the extension is none of .txt, .log, .asc, .csv");
        return false;
    }
    if (const QFileInfo info(fileName); m_regularOnly && info.exists() && !info.isFile() && !info.isDir()) {
        m_error = QStringLiteral("it is not a regular file");
        return false;
    }
    std::unique_ptr<TraceLogReader> reader = makeTraceLogReader(format);
    reader->setReadSlice(m_readSlice);
    reader->setCheck(m_check);
    if (!reader->open(fileName)) {
        m_error = reader->errorString();
        return false;
    }
    m_error.clear();
    m_reader = std::move(reader);
    m_first = true;
    m_repeating = false;
    m_player = std::make_unique<TraceReplay>(
        m_clock, [this](TraceFrame& frame) { return m_reader->next(frame); },
        [this] {
            m_first = true;
            // Opening again forgets the warnings of the pass that ended; the
            // passes after the first only repeat them.
            for (TraceLogWarning& warning : takeWarnings())
                m_warnings.push_back(std::move(warning));
            m_dropped = droppedWarnings();
            m_repeating = true;
            return m_reader->open(m_fileName);
        },
        [this](const TraceFrame& frame) {
            if (m_first) {
                m_firstUs = frame.timeUs;
                m_first = false;
            }
            TraceFrame relative = frame;
            relative.timeUs -= m_firstUs;
            m_deliver(relative);
        });
    m_player->setWaiting([this] { return m_reader->paused(); });
    return true;
}

void LogReplay::setCheck(std::function<bool()> check)
{
    m_check = std::move(check);
    if (m_reader)
        m_reader->setCheck(m_check);
}

}  // namespace tellvane
