// The four log formats on their own: what each writes byte for byte, what
// survives a round trip through it, and what each does with broken lines.

#include "../trace/TraceSamples.h"
#include "logs/LogText.h"
#include "logs/TraceExport.h"
#include "logs/CandumpReader.h"
#include "logs/MessageLineWriter.h"
#include "monitor/MessageLine.h"
#include "trace/TraceRecorder.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <limits>
#include <optional>

using namespace tellvane;
using namespace tellvane::test;

namespace {

using F = TraceFrame;

struct Survival {
    const char* extension;
    // What the format gives back of a frame; none when it cannot hold it.
    std::function<std::optional<TraceFrame>(TraceFrame, std::int64_t firstUs)> kept;
};

TEST(TraceLog, EveryFormatGivesBackWhatItHolds)
{
    const Survival formats[] = {
        {"log", [](TraceFrame f, std::int64_t) { return std::optional(f); }},
        {"csv",  // no direction
         [](TraceFrame f, std::int64_t) {
             f.flags &= static_cast<std::uint8_t>(~F::Sent);
             return std::optional(f);
         }},
        {"asc",  // times from the first frame
         [](TraceFrame f, std::int64_t first) {
             f.timeUs -= first;
             return std::optional(f);
         }},
        {"txt",  // 29-bit identifiers, no remote frames, times from the first frame when they do not fit
         [](TraceFrame f, std::int64_t first) -> std::optional<TraceFrame> {
             if (f.flags & F::Remote)
                 return std::nullopt;
             f.timeUs -= first;
             f.flags |= F::Extended;
             return f;
         }},
    };
    QTemporaryDir dir;
    const std::vector<TraceFrame> frames = sampleFrames();
    for (const Survival& format : formats) {
        SCOPED_TRACE(format.extension);
        const QString name = dir.filePath(QStringLiteral("round.") + QLatin1String(format.extension));
        std::vector<TraceFrame> written;
        std::vector<TraceFrame> expected;
        for (const TraceFrame& f : frames) {
            if (const auto kept = format.kept(f, frames.front().timeUs)) {
                written.push_back(f);
                expected.push_back(*kept);
            }
        }
        writeFrames(name, written);
        const ReadBack back = readFrames(name);
        EXPECT_EQ(back.frames, expected);
        EXPECT_TRUE(back.warnings.empty()) << back.warnings.front().text.toStdString();
        EXPECT_EQ(back.bad, 0);
    }
}

// Local time one hour east of UTC while it lives, whatever the machine's zone.
struct OneHourEast {
    const QByteArray saved = qgetenv("TZ");
    OneHourEast() { qputenv("TZ", "CET-1"); tzset(); }
    ~OneHourEast() { saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", saved); tzset(); }
};

// Each writer's bytes against its golden file, tests/golden/expected/written-N.EXT.
TEST(TraceLog, WritesWhatPeerToolsRead)
{
    struct Case {
        const char* extension;
        std::vector<TraceFrame> frames;
        QDateTime start = {};  // of the recording, named by the caller
    };
    const OneHourEast zone;
    const Case cases[] = {
        {"txt",  // the monitor's 47-byte records; bit 31 marks the sent one
         {frame(1'500'000, 0x123, {0x41, 0x20, 0x7E}), frame(2'000'000, 0x18EF21F9, {0x05}, F::Extended | F::Sent)}},
        {"log",
         {frame(1'700'000'000'123'456, 0x18FEF121, {1, 2, 3, 4, 5, 6, 7, 8}),
          frame(1'700'000'000'123'457, 0x123, {0, 0}, F::Remote | F::Sent), frame(1'700'000'001'000'000, 0x7FF, {}, 0),
          frame(1'700'000'002'000'000, kBusErrorClass, {}, F::Error)}},
        {"asc",  // dated by the first frame, in local time
         {frame(12'345'678, 0x18FEF121, {1, 2, 3, 4, 5, 6, 7, 8}), frame(12'346'912, 0x123, {}, F::Remote | F::Sent),
          frame(10'012'345'678, 0x1, {0xAB}, 0), frame(10'012'345'679, 0, {}, F::Error)}},
        {"asc",  // a recording's session times, dated by its start
         {frame(1'500'000, 0x123, {0x01}, 0), frame(2'000'000, 0x18FEF121, {}, F::Extended | F::Sent)},
         QDateTime(QDate(2026, 12, 7), QTime(16, 40, 7, 250), Qt::UTC)},
        {"csv",
         {frame(1'700'000'000'123'456, 0x18FEF121, {1, 2, 3, 4, 5, 6, 7, 8}), frame(1, 0x123, {}, F::Remote),
          frame(12, 0x7FF, {0xAB}, 0)}},
    };
    QTemporaryDir dir;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QString name = QStringLiteral("written-%1.%2").arg(i + 1).arg(QLatin1String(cases[i].extension));
        writeFrames(dir.filePath(name), cases[i].frames, cases[i].start);
        expectGolden(readFile(dir.filePath(name)), name);
    }
}

// Each format's broken lines in tests/golden/input/broken-lines.EXT, and the
// warnings they get (line and text) in tests/golden/expected/warnings-of-broken-lines.EXT.
// The log's broken shapes are each on their own in CandumpLinesOfEveryShape;
// the txt's line 12 is more than half a turn below 100.25 s (the adapter
// started again), its line 14 half a turn below (the time went back); the
// csv's last line is a remote frame with the bytes it asks for.
TEST(TraceLog, BrokenLinesAreNamedAndTheGoodOnesRead)
{
    struct Case {
        const char* extension;
        std::size_t frames;
        std::int64_t badLines;  // warned of too, beside those whose time went back
    };
    const Case cases[] = {{"log", 2, 2}, {"asc", 2, 7}, {"csv", 4, 6}, {"txt", 7, 7}};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        const QString name = dir.filePath(QStringLiteral("broken.") + QLatin1String(c.extension));
        // Behind a UTF-8 byte-order mark, as some editors save text: the first line reads all the same.
        writeFile(name, "\xEF\xBB\xBF" + goldenInput(QStringLiteral("broken-lines.") + QLatin1String(c.extension)));
        const ReadBack back = readFrames(name);
        EXPECT_EQ(back.frames.size(), c.frames);
        EXPECT_EQ(back.bad, c.badLines);
        EXPECT_EQ(back.good, static_cast<std::int64_t>(c.frames));
        QByteArray warned;
        for (const TraceLogWarning& w : back.warnings)
            warned += QByteArray::number(w.line) + ": " + w.text.toUtf8() + '\n';
        expectGolden(warned, QStringLiteral("warnings-of-broken-lines.") + QLatin1String(c.extension));
        for (std::size_t i = 1; i < back.frames.size(); ++i)
            EXPECT_GE(back.frames[i].timeUs, back.frames[i - 1].timeUs);
    }

    // UTF-16 text, with its mark or without: refused as a whole, not line by line.
    const QString line = QStringLiteral("(1.000000) can0 123#01\n");
    const QByteArray wide(reinterpret_cast<const char*>(line.utf16()), line.size() * 2);
    for (const QByteArray& text : {QByteArray("\xFF\xFE") + wide, wide}) {
        const QString name = dir.filePath(QStringLiteral("wide.log"));
        writeFile(name, text);
        const std::unique_ptr<TraceLogReader> reader = makeTraceLogReader(TraceLogFormat::Candump);
        EXPECT_FALSE(reader->open(name));
        EXPECT_TRUE(reader->errorString().contains(QLatin1String("UTF-16"))) << reader->errorString().toStdString();
    }
}

// Each line of a candump log on its own: the frame it gives, or the line
// warned about with why. The lines near the ones candump writes are the ones
// a reader in one pass could get wrong.
TEST(TraceLog, CandumpLinesOfEveryShape)
{
    struct Case {
        QByteArray line;
        std::optional<TraceFrame> frame;  // none: the line is skipped
        const char* why = "";             // in the warning of a skipped line
    };
    constexpr std::int64_t t = 1'700'000'000'123'456;
    const Case cases[] = {
        {"(1700000000.123456) can0 18FEF121#0102030405060708", frame(t, 0x18FEF121, {1, 2, 3, 4, 5, 6, 7, 8})},
        {" \t(1700000000.123456)\tvcan12\t\t7FF#aBcD \tt\t ", frame(t, 0x7FF, {0xAB, 0xCD}, F::Sent)},
        {"(1700000000.123456) can0 00000123# R", frame(t, 0x123, {})},
        {"(1700000000.123456) can0 000# r", frame(t, 0, {}, 0)},
        {"(1700000000.123456) can0 123#R", frame(t, 0x123, {}, F::Remote)},
        {"(1700000000.123456) can0 1FFFFFFF#r08 T", frame(t, 0x1FFFFFFF, {0, 0, 0, 0, 0, 0, 0, 0}, F::Extended | F::Remote | F::Sent)},
        {"(1700000000.123456) can0 3FFFFFFF#0102", frame(t, 0x1FFFFFFF, {1, 2}, F::Extended | F::Error)},
        {"(1700000000.123456) can0 20000004#0000040000000000", frame(t, 4, {0, 0, 4, 0, 0, 0, 0, 0}, F::Extended | F::Error)},
        {"(999999999999.999999) can0 123#", frame(999'999'999'999'999'999, 0x123, {}, 0)},
        {"(1000000000000.5) can0 123#", frame(1'000'000'000'000'500'000, 0x123, {}, 0)},
        {"(1700000000.1234565) can0 123#", frame(t + 1, 0x123, {}, 0)},
        {"(1700000000.5) can0 123#", frame(1'700'000'000'500'000, 0x123, {}, 0)},
        {"(1700000000) can0 123#", frame(1'700'000'000'000'000, 0x123, {}, 0)},
        {"(1.7e9) can0 123#", frame(1'700'000'000'000'000, 0x123, {}, 0)},
        {"(1700000000.123456)", std::nullopt, "INTERFACE"},
        {"(1700000000.123456)can0 123#01", std::nullopt, "INTERFACE"},
        {"(1700000000.123456) can0 123#01 T X", std::nullopt, "INTERFACE"},
        {"1700000000.123456 can0 123#01", std::nullopt, "time"},
        {"(1700000000.123456 can0 123#01", std::nullopt, "time"},
        {"(17000000x0.123456) can0 123#01", std::nullopt, "time"},
        {"(1700000000.123456) can0 123#01 Tx", std::nullopt, "neither T nor R"},
        {"(1700000000.123456) can0 12301", std::nullopt, "no \"#\""},
        {"(1700000000.123456) can0 123##10102", std::nullopt, "CAN FD"},
        {"(1700000000.123456) can0 800#01", std::nullopt, "identifier"},
        {"(1700000000.123456) can0 1234#01", std::nullopt, "identifier"},
        {"(1700000000.123456) can0 40000000#01", std::nullopt, "identifier"},
        {"(1700000000.123456) can0 123456789#01", std::nullopt, "identifier"},
        {"(1700000000.123456) can0 #01", std::nullopt, "identifier"},
        {"(1700000000.123456) can0 123#R9", std::nullopt, "remote"},
        {"(1700000000.123456) can0 123#RR", std::nullopt, "remote"},
        {"(1700000000.123456) can0 123#012", std::nullopt, "0 to 8 bytes"},
        {"(1700000000.123456) can0 123#010203040506070809", std::nullopt, "0 to 8 bytes"},
        {"(1700000000.123456) can0 123#01\xC6\xC6", std::nullopt, "data byte 2"},
        {"(1700000000.123456) can0 123#0g", std::nullopt, "data byte 1"},
    };
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("shapes.log"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        writeFile(name, c.line + '\n');
        const ReadBack back = readFrames(name);
        if (c.frame) {
            ASSERT_EQ(back.frames.size(), 1u);
            EXPECT_EQ(back.frames.front(), *c.frame);
            EXPECT_TRUE(back.warnings.empty()) << back.warnings.front().text.toStdString();
        } else {
            EXPECT_TRUE(back.frames.empty());
            ASSERT_EQ(back.warnings.size(), 1u);
            EXPECT_EQ(back.warnings.front().line, 1);
            EXPECT_TRUE(back.warnings.front().text.contains(QLatin1String(c.why))) << back.warnings.front().text.toStdString();
        }
    }
}

// Lines near the ones candump writes, each changed by one character in every
// place: wherever the reading in one pass takes a line, the reading word by
// word must give the same frame.
TEST(TraceLog, CandumpReadsAlikeInOnePassAndWordByWord)
{
    const std::string seeds[] = {
        "(1700000000.123456) can0 18FEF121#0102030405060708",
        "(1700000000.123456) can0 123#01 T",
        "(0.5) can0 20000080# R",
        "  (12.000001)\tvcan0\t7FF#  ",
    };
    const std::string alphabet = "0189aAfFgG#()R rTt.\t-e\xC6";
    std::int64_t plain = 0;
    std::int64_t lines = 0;
    auto compare = [&](const std::string& line) {
        ++lines;
        TraceFrame fast;
        if (!candump::readPlainLine(line, fast))
            return;
        ++plain;
        TraceFrame careful;
        QString why;
        ASSERT_EQ(candump::readLine(line, careful, why), LineTraceReader::Line::Frame) << line << ": " << why.toStdString();
        EXPECT_EQ(fast, careful) << line;
    };
    for (const std::string& seed : seeds) {
        compare(seed);
        for (std::size_t i = 0; i <= seed.size(); ++i) {
            if (i < seed.size())
                compare(seed.substr(0, i) + seed.substr(i + 1));
            for (const char c : alphabet) {
                compare(seed.substr(0, i) + c + seed.substr(i));
                if (i < seed.size())
                    compare(seed.substr(0, i) + c + seed.substr(i + 1));
            }
        }
    }
    // Most changes break a line, yet many are still read in one pass.
    EXPECT_GT(plain, lines / 10);
}

std::vector<std::int64_t> timesOf(const std::vector<TraceFrame>& frames, std::int64_t fromUs = 0)
{
    std::vector<std::int64_t> times;
    for (const TraceFrame& f : frames)
        times.push_back(f.timeUs - fromUs);
    return times;
}

// The monitor's fields, and its adapter's seconds read on across restarts
// into times that every other format carries on, exact to the microsecond.
TEST(TraceLog, MessageLinesRunOnAcrossTheAdaptersRestarts)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("monitor.txt"));
    writeFile(name, kRestartingLines);
    const ReadBack back = readFrames(name);
    std::vector<TraceFrame> expected;
    for (std::size_t i = 0; i < kRestartingTimesUs.size(); ++i) {
        const auto k = static_cast<std::uint8_t>(i);
        expected.push_back(frame(kRestartingTimesUs[i], 0x18FEF121 + k, {static_cast<std::uint8_t>(k + 1)},
                                 F::Extended | (i == 2 ? F::Sent : 0)));
    }
    EXPECT_EQ(back.frames, expected);
    EXPECT_TRUE(back.warnings.empty()) << back.warnings.front().text.toStdString();

    for (const char* extension : {"log", "asc", "csv"}) {
        SCOPED_TRACE(extension);
        const QString out = dir.filePath(QStringLiteral("converted.") + QLatin1String(extension));
        EXPECT_EQ(convertLog(name, out, {}).warnings, 0);
        const std::int64_t origin = QLatin1String(extension) == QLatin1String("asc") ? expected.front().timeUs : 0;
        EXPECT_EQ(timesOf(readFrames(out).frames), timesOf(expected, origin));
    }
}

// Relative times add up over every event, frames or not; statistics lines
// (with a channel or without) are passed over without a word.
TEST(TraceLog, AscTimesRelativeToTheEventBeforeAddUp)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("relative.asc"));
    writeFile(name,
              "base hex  timestamps relative\n"
              "   0.000000 Start of measurement\n"
              "   0.500000 1  123             Rx   d 1 01\n"
              "   1.000000 Statistic: D 1 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
              "   1.000000 1 Statistic: D 1 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
              "   0.100000 CAN 1 Status:chip status error active\n"
              "   0.250000 1  18FEF121x       Tx   d 2 01 02\n"
              "   0.000001 1  ErrorFrame\n");
    const ReadBack back = readFrames(name);
    EXPECT_EQ(timesOf(back.frames), (std::vector<std::int64_t>{500'000, 2'850'000, 2'850'001}));
    EXPECT_TRUE(back.warnings.empty()) << back.warnings.front().text.toStdString();
}

// The .txt writer's line on bytes against the monitor's own formatMessageLine,
// at the edges of the time field: six decimals below 100 s, fewer from there,
// rounding on the way, the field's end, and times it cannot hold.
TEST(TraceLog, MessageLineBytesAreTheMonitorsLine)
{
    const std::pair<std::int64_t, bool> times[] = {
        {0, true}, {99'999'999, true}, {100'000'000, true}, {100'000'005, false}, {134'217'720, true},
        {134'217'727, false}, {999'999'995, false}, {9'999'999'900'000, true}, {9'999'999'949'999, false},
        {9'999'999'950'000, false}, {std::numeric_limits<std::int64_t>::max(), false}, {-1, false},
    };
    const TraceFrame frames[] = {frame(0, 0, {}, 0), frame(0, 0x1FFFFFFF, {0xFF, 0, 1, 2, 3, 4, 5, 0xFE}, F::Extended | F::Sent),
                                 frame(0, 0x7FF, {0xA5}, 0)};
    for (const auto& [timeUs, exact] : times) {
        for (TraceFrame f : frames) {
            SCOPED_TRACE(testing::Message() << timeUs << " us, id " << f.id);
            f.timeUs = timeUs;
            logtext::LineText line;
            EXPECT_EQ(appendMessageLine(line, f, timeUs), exact);
            EXPECT_EQ(QByteArray(line.text, line.size), formatMessageLine(TraceRecorder::messageOf(f)).toLatin1());
        }
    }
}

// Line ends are the splitter's (TextLineReader); what the four formats' one
// line reader adds is its limit: a line of kMaxLineBytes is read, one byte
// more is warned about and reading goes on, read whole or in slices; empty
// lines are passed over yet counted in the warnings' line numbers.
TEST(TraceLog, LinesAtTheLimitAndPastIt)
{
    const QByteArray good = "(1.000000) can0 123#01";
    QByteArray atLimit = good;
    atLimit.append(TraceLogReader::kMaxLineBytes - good.size(), ' ');
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("limit.log"));
    writeFile(name, good + "\r\n\r\n" + atLimit + "\n" + atLimit + " \r" + good);
    for (const qint64 slice : {0, 7}) {
        const ReadBack back = readFrames(name, slice);
        EXPECT_EQ(back.good, 3);
        EXPECT_EQ(back.bad, 1);
        ASSERT_EQ(back.warnings.size(), 1u);
        EXPECT_EQ(back.warnings.front().line, 4);
        EXPECT_EQ(back.warnings.front().text, QStringLiteral("longer than 4096 characters; line skipped")) << slice;
    }
}

TEST(TraceLog, SecondsReadToTheMicrosecond)
{
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"0", 0},
        {"0.0", 0},
        {"12", 12'000'000},
        {"1700000000.123456", 1'700'000'000'123'456},
        {"1700000000.1234565", 1'700'000'000'123'457},  // half up
        {"999999999999.999999", 999'999'999'999'999'999},
        {"1000000000000.25", 1'000'000'000'000'250'000},
        {"0.0000015", 2},
        {"1e-06", 1},
        {"1.5E+3", 1'500'000'000},
        {"0.0000004", 0},
        {"000000000000000000000001.000001", 1'000'001},
        {"1.", 1'000'000},
        {".5", 500'000},
        {"-1", std::nullopt},
        {"", std::nullopt},
        {".", std::nullopt},
        {"1e", std::nullopt},
        {"1.0s", std::nullopt},
        {"1e400", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, us] : cases)
        EXPECT_EQ(logtext::secondsToUs(text), us) << text;
}

TEST(TraceLog, ConvertNamesWhatTheOutputCannotHold)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.log"));
    writeFile(in,
              "(1.000000) can0 123#01\n"
              "(1.000001) can0 123#R\n"
              "(1.000002) can0 123#zz\n"
              "(1.000003) can0 20000080#\n"
              "(100.000001) can0 18FEF121#01\n"
              "(100.000002) can0 18FEF121#01\n"
              "(10000000.000000) can0 18FEF121#01\n");
    std::vector<TraceLogWarning> warnings;
    const ConvertResult result = convertLog(in, dir.filePath(QStringLiteral("out.txt")),
                                            [&](const TraceLogWarning& w) { warnings.push_back(w); });
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.frames, 4);
    EXPECT_EQ(result.skipped, 3);
    std::vector<std::int64_t> lines;
    for (const TraceLogWarning& w : warnings)
        lines.push_back(w.line);
    // What the output changed comes last, once, about the whole file (line 0).
    ASSERT_EQ(lines, (std::vector<std::int64_t>{2, 3, 4, 0, 0, 0}));
    EXPECT_EQ(result.warnings, 6);
    EXPECT_TRUE(warnings[0].text.contains(QLatin1String("remote"))) << warnings[0].text.toStdString();
    EXPECT_TRUE(warnings[3].text.startsWith(QLatin1String("1 frame with an 11-bit identifier"))) << warnings[3].text.toStdString();
    EXPECT_TRUE(warnings[4].text.startsWith(QLatin1String("2 times rounded"))) << warnings[4].text.toStdString();
    EXPECT_EQ(warnings[5].text, QLatin1String("1 time past 9999999.9 s, the most the time field holds, written as 9999999.9"));
    EXPECT_EQ(result.notes, (QStringList{warnings[3].text, warnings[4].text, warnings[5].text}));

    EXPECT_FALSE(convertLog(in, dir.filePath(QStringLiteral("out.bin")), {}).ok());
    EXPECT_FALSE(convertLog(dir.filePath(QStringLiteral("missing.log")), dir.filePath(QStringLiteral("out.asc")), {}).ok());
}

TEST(TraceLog, ExportWritesTheFramesGivenAndLeavesOutWhatTheFormatCannotHold)
{
    QTemporaryDir dir;
    const std::vector<TraceFrame> frames = sampleFrames();
    auto at = [&](std::size_t i) -> const TraceFrame& { return frames[i]; };

    const QString asc = dir.filePath(QStringLiteral("all.ASC"));
    const ConvertResult whole = exportTraceLog(asc, frames.size(), at);
    ASSERT_TRUE(whole.ok()) << whole.error.toStdString();
    EXPECT_EQ(whole.frames, static_cast<std::int64_t>(frames.size()));
    EXPECT_EQ(readFrames(asc).frames.size(), frames.size());

    // Message lines hold data frames only: the remote one is left out, and
    // the standard ones take 29-bit identifiers, which a note says once.
    const QString lines = dir.filePath(QStringLiteral("lines.txt"));
    const ConvertResult some = exportTraceLog(lines, frames.size(), at);
    ASSERT_TRUE(some.ok()) << some.error.toStdString();
    const ReadBack back = readFrames(lines);
    EXPECT_EQ(some.frames + some.skipped, static_cast<std::int64_t>(frames.size()));
    EXPECT_EQ(some.skipped, 1);
    EXPECT_EQ(some.notes, QStringList{QStringLiteral("2 frames with 11-bit identifiers written as 29-bit ones")});
    ASSERT_EQ(back.frames.size(), static_cast<std::size_t>(some.frames));
    EXPECT_EQ(back.frames.front().id, 0x18FEF121u);

    // A log being written stands beside the old one until it is complete.
    const std::unique_ptr<TraceLogWriter> writer = makeTraceLogWriter(TraceLogFormat::Asc);
    ASSERT_TRUE(writer->open(asc));
    ASSERT_TRUE(writer->write(frames.front()) && writer->flush());
    EXPECT_EQ(readFrames(asc).frames.size(), frames.size());
    writer->cancel();
    EXPECT_EQ(readFrames(asc).frames.size(), frames.size());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "nothing left beside it";

    EXPECT_FALSE(exportTraceLog(dir.filePath(QStringLiteral("out.bin")), 1, at).ok());
    EXPECT_FALSE(exportTraceLog(dir.filePath(QStringLiteral("no/such/folder.log")), 1, at).ok());
    const ConvertResult none = exportTraceLog(dir.filePath(QStringLiteral("empty.csv")), 0, at);
    EXPECT_TRUE(none.ok());
    EXPECT_EQ(readFrames(dir.filePath(QStringLiteral("empty.csv"))).frames.size(), 0u);
}

}  // namespace
