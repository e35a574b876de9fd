#pragma once

#include "stack/BatchFlash.h"

#include <QTextStream>

namespace tellvane::cli {

// A plan's boards on the console as they go: a line per board and per area;
// on a terminal a progress bar grows in place while an area loads.
class BatchConsole final : public BatchObserver {
public:
    static constexpr int kBarWidth = 40;

    BatchConsole(QTextStream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

    void boardStarted(const BoardResult& b, int number, int total) override;
    void areaStarted(const BoardResult&, const AreaResult& a) override;
    void areaProgress(const BoardResult&, const AreaResult& a, int percent) override;
    void areaDone(const BoardResult&, const AreaResult& a) override;
    void boardDone(const BoardResult& b, int number, int total) override;

private:
    static constexpr int kBarLineWidth = kBarWidth + 24;

    void drawBar(const AreaResult& a, int percent);

    QTextStream& m_out;
    bool m_terminal;
    int m_percent = -1;
};

}  // namespace tellvane::cli
