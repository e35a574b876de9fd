// The signals of databases plotted and recorded from the frames the link sends
// and receives, through a technician's day on the fake clock.

#include "can/AdapterRecord.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "plot/PlotSeries.h"
#include "plot/SignalTap.h"
#include "plot/TimeLine.h"
#include "plot/ValueRecorder.h"
#include "signals/SignalRef.h"

#include "FakeAdapter.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

// A tyre sensor's group from two sources, a standard message with a signed
// 64-bit number and a float, and a multiplexed one.
constexpr char kDbc[] = "BA_ \"ProtocolType\" \"J1939\";\n"
                        "BO_ 2566845440 TIRE: 8 Vector__XXX\n"
                        " SG_ Pressure : 8|8@1+ (4,0) [0|1000] \"kPa\" Vector__XXX\n"
                        "BO_ 291 Plain: 8 Vector__XXX\n"
                        " SG_ Big : 0|64@1- (1,0) [0|0] \"\" Vector__XXX\n"
                        "BO_ 292 Floats: 8 Vector__XXX\n"
                        " SG_ Level : 0|32@1- (1,0) [0|0] \"m\" Vector__XXX\n"
                        " SG_ Page M : 32|8@1+ (1,0) [0|0] \"\" Vector__XXX\n"
                        " SG_ OnPageTwo m2 : 40|8@1+ (0.5,0) [0|0] \"\" Vector__XXX\n"
                        "SIG_VALTYPE_ 292 Level : 1;\n";

struct Day : ::testing::Test {
    test::FakeAdapter adapter;
    FakeClock clock;
    CanLink link{adapter, clock};
    std::shared_ptr<const dbc::Database> database;
    SignalTap tap;

    Day()
    {
        std::vector<dbc::Report> reports;
        database = std::make_shared<const dbc::Database>(dbc::Database::read(kDbc, QStringLiteral("day.dbc"), reports));
        EXPECT_TRUE(reports.empty()) << reports.front().text.toStdString();
        link.pollTick();  // probed and configured
    }
    dbc::SignalRef signal(const char* message, const char* name, int source = -1) const
    {
        for (const dbc::Message& m : database->messages()) {
            for (const dbc::Signal& s : m.signalList) {
                if (m.name == QLatin1String(message) && s.name == QLatin1String(name))
                    return dbc::signalRef(database, m, s, source);
            }
        }
        ADD_FAILURE() << name;
        return {};
    }
    // A frame arrives now, stamped by the adapter (8 us ticks, turning every 134.2 s).
    void arrive(std::uint32_t id, std::vector<std::uint8_t> data, bool standard = false)
    {
        const auto ticks = static_cast<std::uint32_t>((clock.nowMicroseconds() / 8) & 0xFFFFFF);
        adapter.pushRecord(encodeRecord(id, static_cast<std::uint8_t>(data.size()), data.data(), 0, ticks, standard));
        link.pollTick();
    }
};

std::vector<std::int64_t> timesOf(const PlotSeries& s)
{
    std::vector<std::int64_t> times;
    s.forEachExact(0, std::numeric_limits<std::int64_t>::max(), [&](const PlotSeries::Point& p) { times.push_back(p.timeUs); });
    return times;
}

// Three hours: two sources of one group every second, with quiet spells longer
// than the stamp's turn, a log replayed in beside the bus, and frames the tool
// sends itself. Each source stays its own line and its own rows, every point
// lies at its frame's session time, and the replay is counted, not drawn.
TEST_F(Day, HoursOfTwoSourcesWithQuietSpellsAReplayAndSentFramesStayApartOnTheBusTimeLine)
{
    PlotSeries pressure21(SignalTap::scaleOf(*signal("TIRE", "Pressure").signal), PlotSeries::Raw::Unsigned32);
    std::unique_ptr<PlotSeries> pressure22 = SignalTap::seriesOf(*signal("TIRE", "Pressure").signal);
    std::unique_ptr<PlotSeries> big = SignalTap::seriesOf(*signal("Plain", "Big").signal);
    TimeLine plotLine;
    tap.addSeries(signal("TIRE", "Pressure", 0x21), &pressure21, &plotLine);
    tap.addSeries(signal("TIRE", "Pressure", 0x22), pressure22.get(), &plotLine);
    tap.addSeries(signal("Plain", "Big"), big.get(), &plotLine);
    tap.addSeries(signal("TIRE", "Pressure"), &pressure21);  // no source: not a signal to plot
    QTemporaryDir dir;
    const QString csvFile = dir.filePath(QStringLiteral("signals.csv"));
    const std::vector<dbc::SignalRef> recorded{signal("TIRE", "Pressure", 0x22), signal("Floats", "OnPageTwo")};
    std::unique_ptr<ValueRecorder> recorder = SignalTap::recorderFor(recorded);
    ASSERT_TRUE(recorder->open(csvFile));
    tap.setRecorder(std::move(recorder), recorded);
    link.addTraceListener(&tap);
    link.addTraceListener(&tap);  // once is enough

    clock.advanceMs(400'000);  // the listener starts late in the session
    std::vector<std::int64_t> arrivals;
    int replayed = 0;
    const std::uint16_t replayLine = link.newPlayedLine();
    for (int second = 0; second < 3 * 3600; ++second) {
        if (second % 3000 == 1000)
            clock.advanceMs(second % 6000 == 1000 ? 200'000 : 1'100'000);  // the bus quiet
        clock.advanceMs(1000);
        arrivals.push_back(clock.nowMicroseconds());
        arrive(0x18FEF421, {0, static_cast<std::uint8_t>(second % 200)});
        arrive(0x1CFEF422, {0, static_cast<std::uint8_t>(250 - second % 200)});  // another priority
        if (second % 600 == 0) {
            CanMessage fromLog{.id = 0x18FEF421, .time = second / 1000.0, .length = 2, .data = {0, 7}};
            fromLog.line = replayLine;
            link.deliverReceived(fromLog);
            ++replayed;
        }
        if (second % 900 == 0) {
            const std::uint8_t bytes[] = {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80};
            link.sendLogged(0x123, 8, bytes);  // a standard frame the tool sends
        }
        if (second == 5000) {
            // The multiplexed signal is in the frames that select it only.
            arrive(0x124, {0, 0, 0x80, 0x3F, 1, 10}, true);
            arrive(0x124, {0, 0, 0x80, 0x3F, 2, 10}, true);
        }
    }

    EXPECT_EQ(pressure21.appended(), arrivals.size()) << "neither the other source nor the replay";
    // The last hour is kept point by point, each at its frame's time on the session's clock.
    const std::vector<std::int64_t> lastHour(std::lower_bound(arrivals.begin(), arrivals.end(),
                                                              arrivals.back() - PlotSeries::kLongestWindowUs),
                                             arrivals.end());
    const std::vector<std::int64_t> kept = timesOf(pressure21);
    ASSERT_GE(kept.size(), lastHour.size());
    EXPECT_TRUE(std::equal(lastHour.rbegin(), lastHour.rend(), kept.rbegin()));
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), arrivals.end() - static_cast<std::ptrdiff_t>(kept.size())));
    EXPECT_EQ(timesOf(*pressure22), timesOf(pressure21));
    EXPECT_EQ(pressure21.valueOf(pressure21.pointAtOrBefore(arrivals.back())->raw), 4.0 * ((3 * 3600 - 1) % 200));
    EXPECT_EQ(pressure22->valueOf(pressure22->pointAtOrBefore(arrivals.back())->raw), 4.0 * (250 - (3 * 3600 - 1) % 200));
    EXPECT_EQ(plotLine.followedText(), QStringLiteral("the bus"));
    EXPECT_EQ(plotLine.leftOut(), static_cast<std::uint64_t>(replayed));
    ASSERT_EQ(big->appended(), 12u) << "the frames the tool sent, every 15 minutes";
    EXPECT_EQ(big->pointAtOrBefore(arrivals.back())->raw, static_cast<double>(static_cast<std::int64_t>(0x80FFFFFFFFFFFFFEull)))
        << "a 64-bit number beyond a float's digits";

    tap.takeRecorder();
    const QList<QByteArray> rows = test::readFile(csvFile).split('\n');
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(arrivals.size()) + 3) << "the header, the rows, one page two and the end";
    EXPECT_EQ(rows[1], QByteArray::number(arrivals.front() / 1e6, 'f', 6) + ",TIRE.Pressure@22,250,1000\r");
    const int lastRaw = 250 - (3 * 3600 - 1) % 200;
    EXPECT_EQ(rows[rows.size() - 2], QByteArray::number(arrivals.back() / 1e6, 'f', 6) + ",TIRE.Pressure@22,"
                                         + QByteArray::number(lastRaw) + ',' + QByteArray::number(4 * lastRaw) + '\r');
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const QByteArray& r) { return r.contains("Floats.OnPageTwo,10,5\r"); }), 1);

    // Let go, it hears nothing more.
    link.removeTraceListener(&tap);
    arrive(0x18FEF421, {0, 1});
    EXPECT_EQ(pressure21.appended(), arrivals.size());
}

}  // namespace
