#pragma once

#include "firmware/FlashPlan.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace tellvane {
class BusStack;
class Clock;
}  // namespace tellvane

namespace tellvane {

// What became of one area of a board.
struct AreaResult {
    firmware::PlanArea area;
    QString infoLine;          // the board's line of the area ("pCode: V3.04")
    std::int16_t code = 0;     // the download's result code (1: loaded); 0 when it never ran
    QString message;           // the download's last status, or why it never ran
    bool ok = false;           // loaded, and the board said "load complete"
    std::int64_t lines = 0;    // S-record lines sent and acknowledged
    std::int64_t packets = 0;  // text packets sent during the file transfer
    int warnings = 0;          // packets acknowledged but reported as not sent
    QDateTime start;
    QDateTime end;
};

// What became of one board of the plan.
struct BoardResult {
    enum class Outcome {
        Flashed,  // every area loaded, then flashed
        Loaded,   // every area loaded; the plan asked for no flash
        Missing,  // not on the bus
        Failed,   // an area or the flash failed, or the board would not list its areas
        NotRun,   // the run stopped before this board
    };

    firmware::PlanBoard board;
    int foundAddress = -1;  // -1: not found
    Outcome outcome = Outcome::NotRun;
    QString problem;  // why the board failed or never ran, in a few words
    std::vector<AreaResult> areas;
    bool flashTried = false;
    std::int16_t flashCode = 0;
    QString flashMessage;
    QDateTime start;
    QDateTime end;

    bool ok() const { return outcome == Outcome::Flashed || outcome == Outcome::Loaded; }
    std::int64_t lines() const;
    std::int64_t packets() const;
    int warnings() const;
};

// The exit codes of flash --plan: 0 when every board succeeded, else the
// boards that failed, up to kMostFailedBoards; or one of these.
inline constexpr int kMostFailedBoards = 100;
inline constexpr int kExitNotStarted = 2;  // as a refused command line: no adapter, or one that does not open
inline constexpr int kExitPlanRefused = 101;
inline constexpr int kExitReportNotWritten = 102;

struct BatchReport {
    QString planFile;
    QString adapter;
    QDateTime start;
    QDateTime end;
    std::vector<firmware::PlanError> refusal;  // the plan was refused: nothing was downloaded
    QString notStarted;              // why the run never began, with the plan accepted
    std::vector<BoardResult> boards;  // every board the plan names, as far as it was read

    bool refused() const { return !refusal.empty(); }
    // The boards of a run that ends before it begins, none of them run.
    void endBefore(const std::vector<firmware::PlanBoard>& named, const QString& problem);
    int failedBoards() const;
    int exitCode() const;
};

// The report as a JSON document (see README: "flash --plan").
QByteArray reportJson(const BatchReport& report);
// Writes the report whole in place of what the file held, or leaves the file
// as it was; the system's reason when it cannot. A file that is no regular
// file (a device, a pipe) is written as it stands, never replaced.
QString writeReport(const QString& fileName, const BatchReport& report);
// "flashed", "loaded", "missing", "failed", "not run".
QString outcomeName(BoardResult::Outcome outcome);

// What the batch tells as it goes.
class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    // number counts from 1, of total.
    virtual void boardStarted(const BoardResult&, int /*number*/, int /*total*/) {}
    virtual void areaStarted(const BoardResult&, const AreaResult&) {}
    virtual void areaProgress(const BoardResult&, const AreaResult&, int /*percent*/) {}
    virtual void areaDone(const BoardResult&, const AreaResult&) {}
    // Also for boards that never started (missing, or after a stop).
    virtual void boardDone(const BoardResult&, int /*number*/, int /*total*/) {}
};

// Runs a plan on a bus: finds every board (by address, or by serial number
// and P-code wherever it sits), asks each for its memory areas, and refuses
// the plan before anything is downloaded when a board is named twice, two
// boards share a serial number, or a board lacks an area. Then does the
// boards one after another, each as a technician would in the downloader:
// its areas in the plan's order, then the flash, which only follows when
// every area loaded. A board that fails leaves the rest to go on, unless
// stopOnError.
class BatchFlasher {
public:
    BatchFlasher(BusStack& bus, Clock& clock, std::function<QDateTime()> wallClock);

    void setObserver(BatchObserver* observer) { m_observer = observer; }
    // Asked between boards and while boards are looked for.
    void setStop(std::function<bool()> stop) { m_stop = std::move(stop); }

    BatchReport run(const firmware::FlashPlan& plan, bool stopOnError);

private:
    BusStack& m_bus;
    Clock& m_clock;
    std::function<QDateTime()> m_wallClock;
    std::function<bool()> m_stop;
    BatchObserver* m_observer = nullptr;
};

}  // namespace tellvane
