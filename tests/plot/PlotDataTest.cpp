// What the plots and recordings take from a diagnostic screen: frames of known
// bytes decoded by the screen reach the series as the screen shows them, at
// the frames' times on one time line; a screen built again keeps its lines and
// its recording; the CSV of an export and of a recording row by row; the plot
// window's lines drawn from the series.

#include "diagnostics/DiagnosticScreen.h"
#include "diagnostics/IndicatorInfo.h"
#include "diagnostics/ScreenBuilder.h"
#include "plot/BoardTap.h"
#include "plot/PlotSeries.h"
#include "diagnostics/DynTextBox.h"
#include "plot/PlotLegend.h"
#include "plot/PlotWindow.h"
#include "plot/ValueCsv.h"
#include "plot/ValueRecorder.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QWidget>

#include <csignal>
#include <memory>

#include <sys/resource.h>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct Host final : QWidget, ScreenHost {
    QWidget* screenParent() override { return this; }
    void setMessageText(const QString&) override {}
    void setScreenSizeTwips(int, int) override {}
    void setTestText(const QString&) override {}
};

// A screen with a value box, a signed bit field and a lamp, each with its label:
//   0 LABEL Speed        1 BWLTEXT word at byte 1, x 0.5 - 40, "rpm"
//   2 LABEL Trim         3 SBFTEXT byte 3 bits 3-0, x 0.25 + 1, "V"
//   4 BIT lamp byte 3 mask &H80   5 its label "Pump on"
constexpr char kScreen[] = "LABEL, Speed, 100, 100, 1500, 255\n"
                           "BWLTEXT, -, 100, 1700, 1000, 285, 16, W, 1, 0.5, -40, D, 0.0\" rpm\"\n"
                           "LABEL, Trim, 500, 100, 1500, 255\n"
                           "SBFTEXT, -, 500, 1700, 1000, 285, 16, 3, 3, 4, 0.25, 1, D, 0.00\" V\"\n"
                           "BIT, Pump on, 900, 100, 1000, 255, 16, 3, &H80, DE, LG\n";

struct ScreenData : ::testing::Test {
    QTemporaryDir dir;
    Host host;
    DiagnosticScreen screen{host};
    test::ErrorCollector errors;
    TimeLine timeLine;  // a plot window's
    int closed = 0;
    std::vector<BoardTap::Kept> kept;
    std::vector<PlotSeries*> ended;
    BoardTap tap{[this](BoardTap&) { ++closed; },
                 [this](BoardTap&, const std::vector<BoardTap::Kept>& k, const std::vector<PlotSeries*>& e) {
                     kept = k;
                     ended = e;
                 }};

    void SetUp() override
    {
        screen.build(definitionOf(kScreen));
        ASSERT_EQ(screen.controlCount(), 6);
    }
    ScreenDefinition definitionOf(const QByteArray& text)
    {
        ScreenLoad load = loadScreenFile(test::writeFile(dir.filePath(QStringLiteral("screen.cfg")), text), 2, true);
        EXPECT_TRUE(load.loaded);
        return std::move(load.definition);
    }
    void feed(std::initializer_list<std::uint8_t> bytes, double time, std::uint16_t line = 0)
    {
        DiagnosticBuffer b{};
        std::size_t i = 0;
        for (std::uint8_t v : bytes)
            b[i++] = v;
        screen.processDiagnosticMessages(static_cast<std::uint8_t>(i), b, LineTime{line, std::llround(time * 1e6)});
    }
    // The two frames every test here feeds, with a frame of another message between them.
    void feedFrames()
    {
        feed({16, 0x01, 0x2C, 0xC8}, 1.000001);  // word 300; bits 1000 (-8); lamp on
        feed({17, 0xFF, 0xFF, 0xFF}, 1.2);       // no indicator listens
        feed({16, 0xFF, 0xFF, 0x07}, 1.5);       // word 65535; bits 0111 (7); lamp off
    }
    std::unique_ptr<PlotSeries> seriesOf(int cntrlIndex)
    {
        const auto info = indicatorOf(screen.definition(), cntrlIndex);
        EXPECT_TRUE(info.has_value()) << cntrlIndex;
        auto s = PlotSeries::of(info.value_or(IndicatorInfo{}));
        tap.addSeries(static_cast<std::int16_t>(cntrlIndex), s.get(), &timeLine);
        return s;
    }
    std::unique_ptr<ValueRecorder> recorderTo(const QString& name)
    {
        auto recorder = std::make_unique<ValueRecorder>(screenIndicators(screen.definition()));
        EXPECT_TRUE(recorder->open(name));
        return recorder;
    }
    static std::vector<std::pair<std::int64_t, double>> values(const PlotSeries& s)
    {
        std::vector<std::pair<std::int64_t, double>> out;
        s.forEachExact(0, std::numeric_limits<std::int64_t>::max(),
                       [&](const PlotSeries::Point& p) { out.emplace_back(p.timeUs, s.valueOf(p.raw)); });
        return out;
    }
};

TEST_F(ScreenData, TheIndicatorsAreNamedByTheirLabelsInTheirUnits)
{
    const std::vector<IndicatorInfo> all = screenIndicators(screen.definition());
    // Kinds, scales and signs show in the points decoded, the captions (a
    // lamp's label on its right) in the recording's names.
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].unit, QStringLiteral("rpm"));
    EXPECT_EQ(all[1].unit, QStringLiteral("V"));
    EXPECT_EQ(all[2].unit, QString());
    EXPECT_FALSE(indicatorOf(screen.definition(), 0).has_value()) << "a label is no indicator";
    EXPECT_FALSE(indicatorOf(screen.definition(), 99).has_value());

    EXPECT_EQ(patternUnit(QStringLiteral("0.000\" bar\"")), QStringLiteral("bar"));
    EXPECT_EQ(patternUnit(QStringLiteral("#,##0 \\k\\g;-0")), QStringLiteral("kg"));
    EXPECT_EQ(patternUnit(QStringLiteral("0.0%")), QString()) << "a percentage scales the number";
    EXPECT_EQ(patternUnit(QStringLiteral("0")), QString());
}

TEST_F(ScreenData, DecodedFramesBecomePointsAtTheFramesTimes)
{
    auto speed = seriesOf(1);
    auto trim = seriesOf(3);
    auto lamp = seriesOf(4);
    screen.setObserver(&tap);
    feedFrames();
    using Points = std::vector<std::pair<std::int64_t, double>>;
    EXPECT_EQ(values(*speed), (Points{{1'000'001, 300 * 0.5 - 40}, {1'500'000, 65535 * 0.5 - 40}}));
    EXPECT_EQ(values(*trim), (Points{{1'000'001, -8 * 0.25 + 1}, {1'500'000, 7 * 0.25 + 1}}));
    EXPECT_EQ(values(*lamp), (Points{{1'000'001, 1}, {1'500'000, 0}}));
    EXPECT_EQ(lamp->pointAtOrBefore(1'000'001)->raw, 128.0) << "the byte AND its mask";
    // A frame of a played log: the plot follows the bus, whose values came first.
    feed({16, 0x01, 0x2C, 0xC8}, 0.5, 1);
    EXPECT_EQ(speed->appended(), 2u);
    EXPECT_EQ(timeLine.leftOutText(), QStringLiteral("3 values of a played log left out"));

    // The screen goes (diagnostic mode left): the tap hears it once and no more.
    tap.removeSeries(trim.get());
    EXPECT_FALSE(tap.idle());
    screen.deleteControls();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(screen.observer(), nullptr);
    screen.deleteControls();
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
}

TEST_F(ScreenData, ARecordingHasARowForEveryValueDecoded)
{
    const QString name = dir.filePath(QStringLiteral("recording.csv"));
    tap.setRecorder(recorderTo(name));
    screen.setObserver(&tap);
    feed({16, 0x01, 0x2C, 0xC8}, 0.2, 4);  // a log played into the program: the recording follows it
    feedFrames();
    feed({16, 0xFF, 0xFF, 0x07}, 1.7, 4);
    EXPECT_EQ(tap.recorder()->rows(), 6);
    EXPECT_EQ(tap.recorder()->timeLine().leftOutText(), QStringLiteral("6 values from the bus left out"));
    screen.deleteControls();  // the recording ends with the screen
    EXPECT_FALSE(tap.recorder()->isOpen());
    EXPECT_EQ(test::readFile(name), QByteArray("time,name,raw,value\r\n"
                                               "0.200000,Pump on,128,1\r\n"
                                               "0.200000,Speed,300,110\r\n"
                                               "0.200000,Trim,-8,-1\r\n"
                                               "1.700000,Pump on,0,0\r\n"
                                               "1.700000,Speed,65535,32727.5\r\n"
                                               "1.700000,Trim,7,2.75\r\n"));

    // A file that exists is never overwritten: the recording takes a name of its own.
    ValueRecorder again(screenIndicators(screen.definition()));
    EXPECT_TRUE(again.open(name));
    EXPECT_EQ(again.fileName(), dir.filePath(QStringLiteral("recording-2.csv")));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(test::readFile(name).count('\n'), 7);
}

TEST_F(ScreenData, ARecordingReportsAFaultAsTheSaveLogDoes)
{
    // A folder no one may write to, root included, and a file that may grow no more.
    ValueRecorder refused(screenIndicators(screen.definition()));
    EXPECT_FALSE(refused.open(QStringLiteral("/sys/recording.csv")));
    const rlimit was = [] {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        return limit;
    }();
    const rlimit small{4096, was.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
    tap.setRecorder(recorderTo(dir.filePath(QStringLiteral("full.csv"))));
    screen.setObserver(&tap);
    setrlimit(RLIMIT_FSIZE, &small);
    for (int i = 0; i < 2000; ++i)
        feed({16, 0x01, 0x2C, 0xC8}, i * 0.001, 4);
    screen.deleteControls();
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, SIG_DFL);
    ASSERT_EQ(errors.messages.size(), 2) << errors.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(errors.messages[0].startsWith(QStringLiteral("An unexpected error 70'Permission denied' occured within Record")))
        << errors.messages[0].toStdString();
    EXPECT_TRUE(errors.messages[1].startsWith(QStringLiteral("An unexpected error 61'Disk full' occured within Record")))
        << errors.messages[1].toStdString();
}

TEST_F(ScreenData, AScreenBuiltAgainKeepsTheLinesAndTheRecordingOfItsIndicators)
{
    auto speed = seriesOf(1);
    auto trim = seriesOf(3);
    auto lamp = seriesOf(4);
    const QString name = dir.filePath(QStringLiteral("recording.csv"));
    tap.setRecorder(recorderTo(name));
    screen.setObserver(&tap);
    feed({16, 0x01, 0x2C, 0xC8}, 1.0);

    // Saved with a box and its label before everything, and the trim taken out.
    QByteArray saved = QByteArray("LABEL, Added, 1300, 100, 1500, 255\n"
                                  "BWLTEXT, -, 1300, 1700, 1000, 285, 16, B, 1, 1, 0, D, 0\n")
        + kScreen;
    saved.remove(saved.indexOf("LABEL, Trim"), saved.indexOf("BIT,") - saved.indexOf("LABEL, Trim"));
    screen.rebuild(definitionOf(saved));
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(screen.observer(), &tap);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].series, speed.get());
    EXPECT_EQ(kept[0].indicator.cntrlIndex, 3) << "the speed's box has another number now";
    EXPECT_EQ(kept[1].series, lamp.get());
    EXPECT_EQ(ended, std::vector<PlotSeries*>{trim.get()});
    feed({16, 0x01, 0x2C, 0xC8}, 2.0);
    EXPECT_EQ(speed->appended(), 2u);
    EXPECT_EQ(lamp->appended(), 2u);
    EXPECT_EQ(trim->appended(), 1u);

    // The speed's M changed: its values would not be on one scale, so its line ends.
    saved.replace("W, 1, 0.5, -40", "W, 1, 0.25, -40");
    screen.rebuild(definitionOf(saved));
    EXPECT_EQ(ended, std::vector<PlotSeries*>{speed.get()});
    screen.deleteControls();
    const QByteArray recorded = test::readFile(name);
    EXPECT_TRUE(recorded.contains("1.000000,Trim,-8,-1\r\n"));
    EXPECT_TRUE(recorded.contains("2.000000,Added,1,1\r\n2.000000,Speed,300,110\r\n")) << "the same file goes on";
    EXPECT_FALSE(recorded.contains("2.000000,Trim"));
}

// Boxes shown in hexadecimal: M 0.1 (the 32-bit float a little above it), and B -2.
constexpr char kHexScreen[] = "LABEL, Tenths, 100, 100, 1500, 255\n"
                              "BWLTEXT, -, 100, 1700, 1000, 285, 16, L, 1, 0.1, 0, H, 0\n"
                              "LABEL, Less two, 500, 100, 1500, 255\n"
                              "BWLTEXT, -, 500, 1700, 1000, 285, 16, L, 1, 1, -2, H, 0\n";

TEST_F(ScreenData, HexadecimalBoxesArePlottedAndRecordedAsTheScreenShowsThem)
{
    screen.build(definitionOf(kHexScreen));
    auto tenths = seriesOf(1);
    auto lessTwo = seriesOf(3);
    const QString name = dir.filePath(QStringLiteral("recording.csv"));
    tap.setRecorder(recorderTo(name));
    screen.setObserver(&tap);
    QByteArray shown = "time,name,raw,value\r\n";
    const std::uint32_t raws[] = {5, 25, 0, 0x80000001u, 0x80000002u};
    for (std::size_t i = 0; i < std::size(raws); ++i) {
        const std::uint32_t r = raws[i];
        feed({16, static_cast<std::uint8_t>(r >> 24), static_cast<std::uint8_t>(r >> 16), static_cast<std::uint8_t>(r >> 8),
              static_cast<std::uint8_t>(r)},
             static_cast<double>(i + 1));
        for (const auto& [index, series] : {std::pair{1, tenths.get()}, std::pair{3, lessTwo.get()}}) {
            const QString text = dynamic_cast<DynTextBox*>(screen.control(index))->text();
            EXPECT_EQ(series->valueOf(series->pointAtOrBefore(1'000'000 * (i + 1))->raw), text.toUInt(nullptr, 16))
                << r << " " << text.toStdString();
            shown += QByteArray::number(i + 1) + ".000000," + (index == 1 ? "Tenths," : "Less two,")
                + QByteArray::number(r) + ',' + text.toLatin1() + "\r\n";
        }
    }
    EXPECT_EQ(tenths->valueOf(5), 1.0) << "0.5000000075 rounds up, where 0.5 would go to 0";
    EXPECT_EQ(lessTwo->valueOf(0), 0xFFFE);
    EXPECT_EQ(lessTwo->valueOf(0x80000002u), 0.0) << "above 7FFFFFFF the box shows 0";
    EXPECT_EQ(errors.messages.size(), 1) << "and says so";
    screen.deleteControls();
    EXPECT_EQ(test::readFile(name), shown);
}

TEST(ValueCsvTest, ExportsInterleaveTheSeriesByTime)
{
    PlotSeries speed(false, PlotSeries::Scale::Linear, 1.5f, 0.0f);
    PlotSeries flow(true, PlotSeries::Scale::Linear, 0.01f, 0.0f);
    speed.append(10'000'000, 1000);
    flow.append(10'000'000, -250);
    speed.append(10'250'000, 1001);
    flow.append(10'500'000, 3);
    speed.append(11'000'000, 2);  // beyond the stretch
    const csv::Source sources[] = {{&speed, csv::field(QStringLiteral("Board 1201-0003 [33] Speed"))},
                                   {&flow, csv::field(QStringLiteral("Flow, \"main\""))}};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(csv::writeSeries(buffer, sources, 10'000'000, 11'000'000), 4);
    EXPECT_EQ(buffer.data(), QByteArray("time,name,raw,value\r\n"
                                        "10.000000,Board 1201-0003 [33] Speed,1000,1500\r\n"
                                        "10.000000,\"Flow, \"\"main\"\"\",-250,-2.5\r\n"
                                        "10.250000,Board 1201-0003 [33] Speed,1001,1501.5\r\n"
                                        "10.500000,\"Flow, \"\"main\"\"\",3,0.03\r\n"));

    QByteArray row;
    csv::appendNumber(row, -0.0);
    row += ' ';
    csv::appendNumber(row, 1.0 / 3.0);
    row += ' ';
    csv::appendNumber(row, std::numeric_limits<double>::quiet_NaN());
    row += ' ';
    csv::appendTime(row, 7);
    EXPECT_EQ(row, QByteArray("0 0.333333333333333  0.000007"));
}

TEST(PlotWindowTest, LinesComeFromTheSeriesAndEndedOnesSaySo)
{
    test::FakeDialogs dialogs;
    QTemporaryDir dir;
    std::vector<PlotSeries*> gone;
    auto* window = new PlotWindow(QStringLiteral("Plot 1"), PlotWindowServices{dialogs, dir.path()},
                                  [&](PlotSeries* s) { gone.push_back(s); });
    window->resize(800, 500);
    window->show();
    IndicatorInfo speed;
    speed.cntrlIndex = 3;
    speed.caption = QStringLiteral("Speed");
    speed.unit = QStringLiteral("rpm");
    speed.m = 1.5f;
    IndicatorInfo lamp;
    lamp.cntrlIndex = 9;
    lamp.kind = IndicatorKind::Lamp;
    lamp.caption = QStringLiteral("Heater");
    PlotSeries* s = window->addSeries(QStringLiteral("Board 1201-0003 [33]"), speed);
    PlotSeries* l = window->addSeries(QStringLiteral("Board 1305-0012 [34]"), lamp);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(window->seriesFor(QStringLiteral("Board 1201-0003 [33]"), speed), s);
    EXPECT_EQ(window->seriesFor(QStringLiteral("Board 1305-0012 [34]"), speed), nullptr);
    for (int i = 0; i < 20; ++i) {
        s->append(5'000'000 + i * 100'000, 100 + i);
        l->append(5'000'000 + i * 100'000, i >= 10 ? 4 : 0);
    }
    window->refresh();
    const std::vector<QPointF>& drawn = window->drawnPoints(0);
    ASSERT_EQ(drawn.size(), 20u);
    EXPECT_EQ(drawn.front(), QPointF(5.0, 150.0));
    EXPECT_EQ(drawn.back(), QPointF(6.9, 119 * 1.5));
    EXPECT_EQ(window->drawnPoints(1).size(), 21u) << "the lamp's one step drawn upright";
    EXPECT_EQ(window->valueAxis(0)->titleText(), QStringLiteral("rpm"));
    EXPECT_LE(window->valueAxis(0)->min(), 150.0);
    EXPECT_GE(window->valueAxis(0)->max(), 178.5) << "autoscale";
    EXPECT_EQ(window->timeAxis()->min(), 0.0) << "30 s shown from the start, not before it";
    EXPECT_EQ(window->timeAxis()->max(), 30.0);
    const double step = window->timeAxis()->tickInterval();
    const double leading = step / std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(leading == 1 || leading == 2 || leading == 5) << step;
    EXPECT_FALSE(window->timeAxis()->labelsTruncated());
    EXPECT_EQ(window->lineSeries(0)->name(), QStringLiteral("Speed (rpm) - Board 1201-0003 [33]"));
    EXPECT_EQ(window->legend()->label(0)->text(), window->lineSeries(0)->name());

    // Pausing, ended lines in the legend and "All lines ended" are the plot journey's.
    window->setSeriesEnded(l, true);
    EXPECT_TRUE(window->timeLine().take(0));
    EXPECT_FALSE(window->timeLine().take(2));
    window->refresh();
    EXPECT_EQ(window->statusText(),
              QStringLiteral("Live, 40 values kept. 1 value of a played log left out: the plot follows the bus"));

    s->append(8'000'000, 0);
    // The readout names each value at the time under the pointer.
    window->showReadout(5'550'000);
    EXPECT_EQ(window->readoutText(), QStringLiteral("5.550 s    Speed: 157.5 rpm    Heater: 0"));

    // Export CSV of the shown stretch, through the save dialog: the rows it
    // counts; their bytes are the CSV writer's test.
    const QString name = dir.filePath(QStringLiteral("export.csv"));
    dialogs.saveAnswers = {name};
    window->zoomTo(6'800'000, 7'000'000);
    window->exportCsv();
    EXPECT_TRUE(window->statusText().contains(QStringLiteral("4 rows exported to export.csv")))
        << window->statusText().toStdString();

    delete window;
    EXPECT_EQ(gone, (std::vector<PlotSeries*>{s, l})) << "each series let go as the window goes";
}

}  // namespace
