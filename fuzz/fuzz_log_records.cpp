// Log files are whatever the user opens: any bytes, any length, any line
// ends. The reader must cut them into lines, and stepping through them in
// playback must walk the records in order, routing each one that reads as a
// message.

#include "FuzzSupport.h"

#include "can/LinkInterfaces.h"
#include "core/LineListModel.h"
#include "monitor/LogPlayback.h"
#include "monitor/LogReader.h"
#include "monitor/MessageLine.h"
#include "monitor/MessageLogger.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <string>
#include <vector>

using namespace tellvane;

namespace {

constexpr int kMaxSteps = 64;

QString scratchFile()
{
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(QStringLiteral("fuzz.log"));
}

// The lines of the bytes, as plainly as can be: CR LF, CR or LF ends one, and
// what follows the last end is one more when there is any. Each is cut to the
// reader's longest record. A UTF-8 byte-order mark at the start is no part
// of the first line.
std::vector<QString> linesOf(const std::uint8_t* data, std::size_t size)
{
    std::vector<QString> lines;
    std::string line;
    bool ended = true;
    const bool mark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    for (std::size_t i = mark ? 3 : 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\r' || c == '\n') {
            lines.push_back(QString::fromLatin1(line.data(), static_cast<qsizetype>(
                                                                 std::min<std::size_t>(line.size(), LogReader::kMaxRecordChars))));
            line.clear();
            if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
                ++i;
            ended = true;
        } else {
            line.push_back(c);
            ended = false;
        }
    }
    if (!ended)
        lines.push_back(QString::fromLatin1(line.data(), static_cast<qsizetype>(
                                                             std::min<std::size_t>(line.size(), LogReader::kMaxRecordChars))));
    return lines;
}

// Record n (from 1): empty beyond the end.
QString lineAt(const std::vector<QString>& lines, std::int64_t n)
{
    return n >= 1 && n <= static_cast<std::int64_t>(lines.size()) ? lines[static_cast<std::size_t>(n - 1)] : QString();
}

// How many steps move the selection before one beeps. The first eight rows of
// the window step on only while they hold a line; from the eighth on, the
// window scrolls while records remain and then the selection walks down to
// its last row, empty or not.
std::int64_t stepsUntilBeep(const std::vector<QString>& lines)
{
    for (std::int64_t row = 0; row < 8; ++row) {
        if (lineAt(lines, row + 1).isEmpty())
            return row;
    }
    return std::max<std::int64_t>(LogPlayback::kWindowRecords, static_cast<std::int64_t>(lines.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensureApplication();
    QLoggingCategory::setFilterRules(QStringLiteral("tellvane.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString fileName = scratchFile();
    {
        // A new file each time: truncating one makes the file system write the
        // old content out first, which costs most of the run's time.
        QFile::remove(fileName);
        QFile file(fileName);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) == static_cast<qint64>(size));
    }

    // The reader on its own.
    LogReader reader;
    FUZZ_CHECK(reader.open(fileName));
    const std::vector<QString> lines = linesOf(data, size);
    const std::int32_t count = reader.recordCount();
    FUZZ_CHECK(count == static_cast<std::int32_t>(lines.size()));
    for (std::int64_t n = 0; n <= std::min<std::int64_t>(count + 2, kMaxSteps); ++n)
        FUZZ_CHECK(reader.record(n) == lineAt(lines, n));
    for (std::int64_t n = count; n >= 1 && n > count - kMaxSteps; n -= 3)
        FUZZ_CHECK(reader.record(n) == lineAt(lines, n));  // backwards, from the checkpoints
    reader.close();

    // Playback, stepped as by the Step button.
    fuzz::ErrorCollector errors;
    test::FakeDialogs dialogs;
    test::RecordingRouter router;
    LineListModel list(LineListModel::Bound::ClearWhenOver, MessageLogger::kListLimit);
    LogPlayback playback(list, dialogs);
    playback.setRouter(&router);
    playback.openReadLogFile(fileName);
    FUZZ_CHECK(playback.readFileOpen());
    playback.readLogFile(1);
    FUZZ_CHECK(playback.recordCount() == count);
    FUZZ_CHECK(list.size() == LogPlayback::kWindowRecords);
    FUZZ_CHECK(playback.selectedIndex() == -1);

    // The s-th step that moves the selection shows record s; a step that
    // cannot move on beeps.
    std::int64_t stepped = 0;
    int expectedErrors = 0;
    std::size_t expectedRouted = 0;
    // A processed line is routed when it reads as a message and reported when it is broken.
    auto expectProcessed = [&](const QString& line, std::size_t routedBefore) {
        const ParsedLine parsed = parseMessageLine(line);
        if (parsed.status == LineParse::Message) {
            ++expectedRouted;
            FUZZ_CHECK(router.messages.size() == routedBefore + 1);
            const CanMessage& routed = router.messages.back();
            FUZZ_CHECK(routed.id == parsed.message.id && routed.length == parsed.message.length
                       && routed.data == parsed.message.data);
        } else {
            FUZZ_CHECK(router.messages.size() == routedBefore);
            if (parsed.status != LineParse::Empty)
                ++expectedErrors;
        }
    };
    for (int i = 0; i < kMaxSteps; ++i) {
        const int before = playback.selectedIndex();
        const int beepsBefore = dialogs.beeps;
        const std::size_t routedBefore = router.messages.size();
        playback.logFileStep();
        FUZZ_CHECK(list.size() == LogPlayback::kWindowRecords);
        const int selected = playback.selectedIndex();
        FUZZ_CHECK(selected >= -1 && selected < LogPlayback::kWindowRecords);
        if (dialogs.beeps != beepsBefore) {
            FUZZ_CHECK(dialogs.beeps == beepsBefore + 1);
            FUZZ_CHECK(!playback.stepTimer().isActive());
            FUZZ_CHECK(selected == before);
            // At the window's last row the step processes that row once more.
            if (before >= 7)
                expectProcessed(list.textAt(before), routedBefore);
            else
                FUZZ_CHECK(router.messages.size() == routedBefore);
            break;
        }
        FUZZ_CHECK(selected >= 0);
        ++stepped;
        const QString expected = lineAt(lines, stepped);
        FUZZ_CHECK(list.textAt(selected) == expected);
        expectProcessed(expected, routedBefore);
    }
    FUZZ_CHECK(router.messages.size() == expectedRouted);
    FUZZ_CHECK(errors.messages.size() == expectedErrors);
    FUZZ_CHECK(dialogs.boxes.empty());
    const std::int64_t lastStep = stepsUntilBeep(lines);
    FUZZ_CHECK(stepped == std::min<std::int64_t>(lastStep, kMaxSteps));

    playback.closeReadLogFile();
    QCoreApplication::processEvents();
    return 0;
}
