#include "stack/BatchFlash.h"

#include "can/CanLink.h"
#include "core/Clock.h"
#include "firmware/DownloadRules.h"
#include "firmware/FlashWords.h"
#include "firmware/TransferMeter.h"
#include "stack/BoardDiscovery.h"
#include "stack/BusStack.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tellvane {

namespace {

// The downloader's view during a batch: it only passes the progress on.
class BatchView final : public firmware::MeteredDownloaderView {
public:
    using firmware::MeteredDownloaderView::MeteredDownloaderView;
    std::function<void(int)> onProgress;

protected:
    void progressChanged(int percent, int) override
    {
        if (percent >= 0 && onProgress)
            onProgress(percent);
    }
};

QJsonValue timeValue(const QDateTime& time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

QJsonObject areaJson(const AreaResult& a)
{
    return QJsonObject{{QStringLiteral("plan"), a.area.path},
                       {QStringLiteral("area"), a.area.areaId},
                       {QStringLiteral("file"), a.area.file},
                       {QStringLiteral("infoLine"), a.infoLine},
                       {QStringLiteral("code"), a.code},
                       {QStringLiteral("message"), a.message},
                       {QStringLiteral("ok"), a.ok},
                       {QStringLiteral("lines"), static_cast<qint64>(a.lines)},
                       {QStringLiteral("packets"), static_cast<qint64>(a.packets)},
                       {QStringLiteral("warnings"), a.warnings},
                       {QStringLiteral("start"), timeValue(a.start)},
                       {QStringLiteral("end"), timeValue(a.end)}};
}

QJsonObject boardJson(const BoardResult& b)
{
    QJsonArray areas;
    for (const AreaResult& a : b.areas)
        areas.append(areaJson(a));
    const firmware::PlanBoard& p = b.board;
    QJsonObject flash{{QStringLiteral("requested"), p.flash}, {QStringLiteral("tried"), b.flashTried}};
    if (b.flashTried) {
        flash.insert(QStringLiteral("code"), b.flashCode);
        flash.insert(QStringLiteral("message"), b.flashMessage);
        flash.insert(QStringLiteral("ok"), b.outcome == BoardResult::Outcome::Flashed);
    }
    return QJsonObject{
        {QStringLiteral("plan"), p.path},
        {QStringLiteral("chosenBy"), p.bySerial() ? QJsonValue(QStringLiteral("serial"))
                                     : p.address  ? QJsonValue(QStringLiteral("address"))
                                                  : QJsonValue()},  // an entry of a refused plan that names no board
        {QStringLiteral("address"), p.address ? QJsonValue(*p.address) : QJsonValue()},
        {QStringLiteral("serial"), p.serial ? QJsonValue(static_cast<qint64>(*p.serial)) : QJsonValue()},
        {QStringLiteral("pcode"), p.bySerial() ? QJsonValue(p.pCode) : QJsonValue()},
        {QStringLiteral("foundAddress"), b.foundAddress >= 0 ? QJsonValue(b.foundAddress) : QJsonValue()},
        {QStringLiteral("result"), outcomeName(b.outcome)},
        {QStringLiteral("ok"), b.ok()},
        {QStringLiteral("problem"), b.problem},
        {QStringLiteral("areas"), areas},
        {QStringLiteral("lines"), static_cast<qint64>(b.lines())},
        {QStringLiteral("packets"), static_cast<qint64>(b.packets())},
        {QStringLiteral("warnings"), b.warnings()},
        {QStringLiteral("flash"), flash},
        {QStringLiteral("start"), timeValue(b.start)},
        {QStringLiteral("end"), timeValue(b.end)}};
}

}  // namespace

std::int64_t BoardResult::lines() const
{
    std::int64_t n = 0;
    for (const AreaResult& a : areas)
        n += a.lines;
    return n;
}

std::int64_t BoardResult::packets() const
{
    std::int64_t n = 0;
    for (const AreaResult& a : areas)
        n += a.packets;
    return n;
}

int BoardResult::warnings() const
{
    int n = 0;
    for (const AreaResult& a : areas)
        n += a.warnings;
    return n;
}

void BatchReport::endBefore(const std::vector<firmware::PlanBoard>& named, const QString& problem)
{
    boards.clear();
    for (const firmware::PlanBoard& board : named) {
        BoardResult& b = boards.emplace_back();
        b.board = board;
        b.problem = problem;
    }
}

int BatchReport::failedBoards() const
{
    return static_cast<int>(std::count_if(boards.begin(), boards.end(), [](const BoardResult& b) { return !b.ok(); }));
}

int BatchReport::exitCode() const
{
    if (!notStarted.isEmpty())
        return kExitNotStarted;
    if (refused())
        return kExitPlanRefused;
    return std::min(failedBoards(), kMostFailedBoards);
}

QString outcomeName(BoardResult::Outcome outcome)
{
    switch (outcome) {
    case BoardResult::Outcome::Flashed:
        return QStringLiteral("flashed");
    case BoardResult::Outcome::Loaded:
        return QStringLiteral("loaded");
    case BoardResult::Outcome::Missing:
        return QStringLiteral("missing");
    case BoardResult::Outcome::Failed:
        return QStringLiteral("failed");
    case BoardResult::Outcome::NotRun:
        break;
    }
    return QStringLiteral("not run");
}

QByteArray reportJson(const BatchReport& report)
{
    QJsonArray errors;
    for (const firmware::PlanError& e : report.refusal)
        errors.append(QJsonObject{{QStringLiteral("path"), e.path}, {QStringLiteral("message"), e.message}});
    if (!report.notStarted.isEmpty())
        errors.append(QJsonObject{{QStringLiteral("path"), QString()}, {QStringLiteral("message"), report.notStarted}});
    QJsonArray boards;
    for (const BoardResult& b : report.boards)
        boards.append(boardJson(b));
    const QString ending = !report.notStarted.isEmpty() ? QStringLiteral("not started")
        : report.refused()                              ? QStringLiteral("refused")
                                                        : QStringLiteral("done");
    const QJsonObject root{{QStringLiteral("plan"), report.planFile},
                           {QStringLiteral("adapter"), report.adapter},
                           {QStringLiteral("start"), timeValue(report.start)},
                           {QStringLiteral("end"), timeValue(report.end)},
                           {QStringLiteral("ending"), ending},
                           {QStringLiteral("refused"), report.refused()},
                           {QStringLiteral("errors"), errors},
                           {QStringLiteral("boards"), boards},
                           {QStringLiteral("failedBoards"), report.failedBoards()},
                           {QStringLiteral("exitCode"), report.exitCode()}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString writeReport(const QString& fileName, const BatchReport& report)
{
    const QByteArray text = reportJson(report);
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile()) {
        // A file put in its place would replace the device: written as it stands.
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(text) != text.size())
            return file.errorString();
        return {};
    }
    QSaveFile file(fileName);
    // A folder that takes no new file leaves the report to be written in place.
    file.setDirectWriteFallback(true);
    // Qt's commit puts the new file in place even when its buffered text
    // never reached the disk: the flush and the sync are checked before it.
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush())
        return file.errorString();
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0 && errno != EINVAL)  // EINVAL: a file system that keeps nothing to sync
        return QString::fromLocal8Bit(std::strerror(errno));
#endif
    if (!file.commit())
        return file.errorString();
    return {};
}

BatchFlasher::BatchFlasher(BusStack& bus, Clock& clock, std::function<QDateTime()> wallClock)
    : m_bus(bus), m_clock(clock), m_wallClock(std::move(wallClock))
{
}

namespace {

// One run of a plan on the bus: the downloader's view and the roster stand in
// for the windows while it lasts, and every step fills in the report.
class BatchRun {
public:
    BatchRun(BusStack& bus, Clock& clock, const std::function<QDateTime()>& wallClock,
             const std::function<bool()>& stop, BatchObserver* observer, BatchReport& report)
        : m_bus(bus), m_clock(clock), m_wallClock(wallClock), m_stop(stop), m_observer(observer), m_report(report),
          m_directory(bus.boards()), m_downloader(bus.downloader()), m_meter(clock), m_view(m_meter),
          m_previousView(m_downloader.view())
    {
        m_directory.setWindowFactory(&m_roster);
        m_bus.link().setMessageSink(&m_meter);
        m_downloader.setView(&m_view);
    }

    // The roster's handles stand in the board table only while it lives.
    ~BatchRun()
    {
        m_downloader.setView(m_previousView);
        m_bus.link().setMessageSink(nullptr);
        m_directory.setWindowFactory(nullptr);
        m_roster.detach(m_directory);
    }

    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    BoardWait awaitPlanBoards(const firmware::FlashPlan& plan);
    void findEntries();
    void checkListedAreas();
    void flashAll(bool stopOnError);
    // Every board ends with this outcome and problem.
    void finish(BoardResult::Outcome outcome, const QString& problem);

private:
    int whereIs(const firmware::PlanBoard& board) const;
    bool serialIsUnclear(BoardResult& b);
    bool openFor(int address);
    QString notListed() const;
    void flashBoard(BoardResult& b);
    // Downloads one area; false when it failed (the board's problem says why).
    bool loadArea(BoardResult& b, const firmware::PlanArea& area);
    void flashToMemory(BoardResult& b);

    BusStack& m_bus;
    Clock& m_clock;
    const std::function<QDateTime()>& m_wallClock;
    const std::function<bool()>& m_stop;
    BatchObserver* m_observer;
    BatchReport& m_report;
    BoardDirectory& m_directory;
    FirmwareDownloader& m_downloader;
    BoardRoster m_roster;
    firmware::TransferMeter m_meter;
    BatchView m_view;
    DownloaderView* const m_previousView;
};

// Where the board of an entry is: its address, or that of the one board
// with its serial number, once its P-code is known to match; -1: not (yet) found.
int BatchRun::whereIs(const firmware::PlanBoard& board) const
{
    if (board.address)
        return m_directory.knows(*board.address) ? *board.address : -1;
    const std::vector<BoardRoster::Board> found = m_roster.withSerial(*board.serial);
    return found.size() == 1 && found.front().pCode == board.pCode ? found.front().address : -1;
}

void BatchRun::finish(BoardResult::Outcome outcome, const QString& problem)
{
    for (BoardResult& b : m_report.boards) {
        b.outcome = outcome;
        b.problem = problem;
    }
    m_report.end = m_wallClock();
}

BoardWait BatchRun::awaitPlanBoards(const firmware::FlashPlan& plan)
{
    return awaitBoards(
        m_bus, m_clock,
        [&] {
            return std::all_of(plan.boards.begin(), plan.boards.end(),
                               [&](const firmware::PlanBoard& b) { return whereIs(b) >= 0; });
        },
        m_stop);
}

// An entry chosen by serial number whose board cannot be told (refused) or is
// another one (missing).
bool BatchRun::serialIsUnclear(BoardResult& b)
{
    // Serial numbers are one a board: two boards with one are a fault on the line.
    const std::vector<BoardRoster::Board> found = m_roster.withSerial(*b.board.serial);
    if (found.size() > 1) {
        QStringList at;
        for (const BoardRoster::Board& f : found)
            at.append(QString::number(f.address));
        m_report.refusal.push_back({b.board.path + QStringLiteral(".serial"),
                                    QStringLiteral("the boards at addresses %1 all have serial number %2: "
                                                   "which one is meant cannot be told")
                                        .arg(at.join(QStringLiteral(", ")))
                                        .arg(*b.board.serial)});
        return true;
    }
    if (found.size() == 1 && found.front().pCode != b.board.pCode) {
        b.outcome = BoardResult::Outcome::Missing;
        b.problem = QStringLiteral("not on the bus: the board of serial number %1 (at address %2) has P-code %3")
                        .arg(*b.board.serial)
                        .arg(found.front().address)
                        .arg(found.front().pCode.isEmpty() ? QStringLiteral("unknown") : found.front().pCode);
        return true;
    }
    return false;
}

// Which board each entry finds; a board is found once, and served once.
void BatchRun::findEntries()
{
    std::map<int, QString> servedBy;
    for (BoardResult& b : m_report.boards) {
        if (b.board.bySerial() && serialIsUnclear(b))
            continue;
        const int address = whereIs(b.board);
        if (address < 0) {
            b.outcome = BoardResult::Outcome::Missing;
            b.problem = QStringLiteral("not on the bus");
            continue;
        }
        b.foundAddress = address;
        const auto [it, first] = servedBy.emplace(b.foundAddress, b.board.path);
        if (!first) {
            m_report.refusal.push_back({b.board.path, QStringLiteral("finds the board at address %1, which %2 names too")
                                                          .arg(b.foundAddress)
                                                          .arg(it->second)});
        }
    }
}

bool BatchRun::openFor(int address)
{
    m_directory.setDownloadBoardAddress(static_cast<std::int16_t>(address));
    m_downloader.open();
    m_downloader.requestNodeInfo();
    return m_downloader.lastStageSucceeded();
}

QString BatchRun::notListed() const
{
    QString problem = QStringLiteral("the board does not list its memory areas");
    if (!m_view.info.isEmpty())
        problem += QStringLiteral(": ") + m_view.info.join(QLatin1Char(' '));
    return problem;
}

// The boards' areas, asked before anything is downloaded.
void BatchRun::checkListedAreas()
{
    for (BoardResult& b : m_report.boards) {
        if (b.foundAddress < 0 || (m_stop && m_stop()))
            continue;
        const bool listed = openFor(b.foundAddress);
        if (!listed) {
            b.outcome = BoardResult::Outcome::Failed;
            b.problem = notListed();
        }
        for (const firmware::PlanArea& area : b.board.areas) {
            if (listed && firmware::areaLine(m_view.info, area.areaId) < 0) {
                m_report.refusal.push_back({area.path + QStringLiteral(".area"),
                                            QStringLiteral("the board at address %1 lists no area %2 (no \"%3\" line)")
                                                .arg(b.foundAddress)
                                                .arg(area.areaId, firmware::areaKeyword(area.areaId))});
            }
        }
        m_downloader.closeDownloader();
    }
}

bool BatchRun::loadArea(BoardResult& b, const firmware::PlanArea& area)
{
    AreaResult a;
    a.area = area;
    const int row = firmware::areaLine(m_view.info, area.areaId);
    a.infoLine = m_view.info.value(row);
    if (m_observer)
        m_observer->areaStarted(b, a);
    m_view.onProgress = [&](int percent) {
        if (m_observer)
            m_observer->areaProgress(b, a, percent);
    };
    m_meter.clear();
    a.start = m_wallClock();
    if (row >= 0) {
        m_view.selected = row;
        m_downloader.infoListClicked(row);
        m_view.setFileName(area.file);
        m_downloader.startDownload();
        a.code = m_downloader.lastResult();
        a.ok = m_downloader.lastStageSucceeded();
        // The window's status on success is its prompt for the next step.
        a.message = a.ok                        ? QStringLiteral("Loaded")
            : a.code == firmware::kClosed ? QStringLiteral("the board started again (it announced itself) during the download")
                                          : m_view.status();
        a.warnings = m_downloader.downloadWarnings();
    } else {
        a.message = QStringLiteral("the board no longer lists area %1").arg(area.areaId);
    }
    m_meter.end();
    a.end = m_wallClock();
    a.lines = m_meter.lines();
    a.packets = m_meter.packets();
    m_view.onProgress = {};
    b.areas.push_back(a);
    if (m_observer)
        m_observer->areaDone(b, b.areas.back());
    if (!a.ok) {
        b.outcome = BoardResult::Outcome::Failed;
        b.problem = QStringLiteral("area %1 failed: %2").arg(area.areaId, a.message);
    }
    return a.ok;
}

void BatchRun::flashToMemory(BoardResult& b)
{
    b.flashTried = true;
    m_downloader.flashToMemory();
    b.flashCode = m_downloader.lastResult();
    b.flashMessage = m_view.status();
    if (m_downloader.lastStageSucceeded()) {
        b.outcome = BoardResult::Outcome::Flashed;
    } else {
        b.outcome = BoardResult::Outcome::Failed;
        b.problem = QStringLiteral("flashing failed: %1").arg(b.flashMessage);
    }
}

// One board as a technician does it in the downloader: its areas, then the flash.
void BatchRun::flashBoard(BoardResult& b)
{
    if (!openFor(b.foundAddress)) {
        b.outcome = BoardResult::Outcome::Failed;
        b.problem = notListed();
        m_downloader.closeDownloader();
        return;
    }
    m_meter.setBoard(b.foundAddress);
    for (const firmware::PlanArea& area : b.board.areas) {
        if (!loadArea(b, area))
            break;
    }
    if (b.outcome != BoardResult::Outcome::Failed) {
        if (b.board.flash)
            flashToMemory(b);
        else
            b.outcome = BoardResult::Outcome::Loaded;
    }
    m_downloader.closeDownloader();
}

// The boards one after another, to the end or the first failure.
void BatchRun::flashAll(bool stopOnError)
{
    bool stopped = false;
    const int total = static_cast<int>(m_report.boards.size());
    for (int i = 0; i < total; ++i) {
        BoardResult& b = m_report.boards[static_cast<std::size_t>(i)];
        if (stopped || (m_stop && m_stop())) {
            b.outcome = BoardResult::Outcome::NotRun;
            b.problem = stopped ? QStringLiteral("not run: the run stopped at the first failure")
                                : QStringLiteral("stopped");
            stopped = true;
            if (m_observer)
                m_observer->boardDone(b, i + 1, total);
            continue;
        }
        b.start = m_wallClock();
        if (b.foundAddress >= 0) {
            if (m_observer)
                m_observer->boardStarted(b, i + 1, total);
            // A board that would not list its areas failed already.
            if (b.outcome == BoardResult::Outcome::NotRun)
                flashBoard(b);
        }
        b.end = m_wallClock();
        if (m_observer)
            m_observer->boardDone(b, i + 1, total);
        if (!b.ok() && stopOnError)
            stopped = true;
    }
    m_report.end = m_wallClock();
}

}  // namespace

BatchReport BatchFlasher::run(const firmware::FlashPlan& plan, bool stopOnError)
{
    BatchReport report;
    report.adapter = m_bus.adapter().name();
    report.start = m_wallClock();
    for (const firmware::PlanBoard& board : plan.boards) {
        BoardResult result;
        result.board = board;
        report.boards.push_back(result);
    }

    BatchRun batch(m_bus, m_clock, m_wallClock, m_stop, m_observer, report);
    const BoardWait wait = batch.awaitPlanBoards(plan);
    if (wait == BoardWait::Stopped) {
        batch.finish(BoardResult::Outcome::NotRun, QStringLiteral("stopped"));
        return report;
    }
    if (wait == BoardWait::LinkDown) {
        batch.finish(BoardResult::Outcome::Failed, QStringLiteral("the adapter did not come up"));
        return report;
    }
    batch.findEntries();
    batch.checkListedAreas();
    if (report.refused()) {
        batch.finish(BoardResult::Outcome::NotRun, QStringLiteral("the plan was refused"));
        return report;
    }
    batch.flashAll(stopOnError);
    return report;
}

}  // namespace tellvane
