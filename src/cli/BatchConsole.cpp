#include "cli/BatchConsole.h"

namespace tellvane::cli {

void BatchConsole::boardStarted(const BoardResult& b, int number, int total)
{
    m_out << "Board " << number << " of " << total << ", " << b.board.label() << ':';
    if (b.board.bySerial())
        m_out << " at address " << b.foundAddress;
    m_out << Qt::endl;
}

void BatchConsole::areaStarted(const BoardResult&, const AreaResult& a)
{
    m_percent = -1;
    if (m_terminal)
        drawBar(a, 0);
}

void BatchConsole::areaProgress(const BoardResult&, const AreaResult& a, int percent)
{
    if (m_terminal && percent != m_percent)
        drawBar(a, percent);
}

void BatchConsole::areaDone(const BoardResult&, const AreaResult& a)
{
    if (m_terminal)
        m_out << '\r' << QString(kBarLineWidth, QLatin1Char(' ')) << '\r';
    m_out << "  area " << a.area.areaId << " (" << a.infoLine << "): ";
    if (a.ok)
        m_out << "loaded, " << a.lines << " lines, " << a.packets << " packets";
    else
        m_out << "FAILED (" << a.code << "): " << a.message;
    if (a.warnings > 0)
        m_out << ", " << a.warnings << " packets acknowledged but reported as not sent";
    m_out << Qt::endl;
}

void BatchConsole::boardDone(const BoardResult& b, int number, int total)
{
    switch (b.outcome) {
    case BoardResult::Outcome::Flashed:
        m_out << "  flashed: " << b.flashMessage << Qt::endl;
        break;
    case BoardResult::Outcome::Loaded:
        m_out << "  loaded, not flashed: the plan asks for no flash" << Qt::endl;
        break;
    case BoardResult::Outcome::Failed:
        // A board never found (the adapter did not come up) has had no line yet.
        if (b.foundAddress < 0)
            m_out << "Board " << number << " of " << total << ", " << b.board.label() << ": ";
        else
            m_out << "  ";
        m_out << "FAILED: " << b.problem << "; not flashed" << Qt::endl;
        break;
    case BoardResult::Outcome::Missing:
    case BoardResult::Outcome::NotRun:
        m_out << "Board " << number << " of " << total << ", " << b.board.label() << ": "
              << (b.outcome == BoardResult::Outcome::Missing ? QStringLiteral("MISSING: ") : QString()) << b.problem
              << Qt::endl;
        break;
    }
}

void BatchConsole::drawBar(const AreaResult& a, int percent)
{
    m_percent = percent;
    const int filled = percent * kBarWidth / 100;
    m_out << "\r  area " << a.area.areaId << " [" << QString(filled, QLatin1Char('#'))
          << QString(kBarWidth - filled, QLatin1Char('.')) << "] " << QString::number(percent).rightJustified(3) << "%"
          << Qt::flush;
}

}  // namespace tellvane::cli
