// The DBC reader and decoding: the reports of broken lines, a hand-written
// database (J1939, multiplexing, value texts, comments, CR LF and Latin-1),
// and every signal of random frames against python3-canmatrix's decoding.

#include "signals/SignalDatabase.h"

#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace tellvane;
using namespace tellvane::dbc;

namespace {

TraceFrame frameOf(std::uint32_t id, bool extended, const QByteArray& data)
{
    TraceFrame frame;
    frame.id = id;
    frame.flags = extended ? TraceFrame::Extended : 0;
    frame.length = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), frame.data.begin());
    return frame;
}

std::map<QString, DecodedSignal> decoded(const Message& message, const TraceFrame& frame)
{
    std::vector<DecodedSignal> out;
    decode(message, frame, out);
    std::map<QString, DecodedSignal> byName;
    for (const DecodedSignal& s : out)
        byName[s.signal->name] = s;
    return byName;
}

}  // namespace

TEST(SignalDatabase, BrokenLinesAreReportedAndTheRestIsRead)
{
    QByteArray text = "BO_ 100 Good: 8 ECU\n"
                      " SG_ A : 0|8@1+ (1,0) [0|255] \"\" X\n"
                      " SG_ B : 8|65@1+ (1,0) [0|1] \"\" X\n"
                      " SG_ C : 8|8@2+ (1,0) [0|1] \"\" X\n"
                      " SG_ D : 8|8@1+ (1;0) [0|1] \"\" X\n"
                      " SG_ E : 8|8@1+ (1,0) [0|1] \"unit X\n"
                      " SG_ A : 8|8@1+ (1,0) [0|1] \"\" X\n"
                      " SG_ F x3 : 8|8@1+ (1,0) [0|1] \"\" X\n"
                      "BO_ 100 Again: 8 ECU\n"
                      " SG_ G : 0|8@1+ (1,0) [0|255] \"\" X\n"
                      "BO_ 101 Long: 65 ECU\n"
                      "BO_ x Bad: 8 ECU\n"
                      "FOO bar\n"
                      "VAL_ 100 A 1 \"one\" 2 ;\n"
                      "VAL_ 999 A 1 \"one\" ;\n"
                      "CM_ SG_ 100 Z \"no such\";\n"
                      "SIG_VALTYPE_ 100 A : 1;\n"
                      "SIG_VALTYPE_ 100 A : 7;\n"
                      "BO_ 102 Big: 8 ECU\n";
    for (int i = 0; i <= Database::kMaxSignalsPerMessage; ++i)
        text += QByteArray(" SG_ S") + QByteArray::number(i) + " : 0|1@1+ (1,0) [0|1] \"\" X\n";
    text += "CM_ BO_ 100 \"never closed;\nBO_ 200 After: 8 ECU\n"
            " SG_ Mode M : 0|4@1+ (1,0) [0|15] \"\" X\n SG_ Sub m1M : 4|4@1+ (1,0) [0|15] \"\" X\n"
            " SG_ Loop m2M : 8|4@1+ (1,0) [0|15] \"\" X\n SG_ Leaf m0 : 12|4@1+ (1,0) [0|15] \"\" X\n"
            " SG_ Flat : 16|4@1+ (1,0) [0|15] \"\" X\n"
            "SG_MUL_VAL_ 200 Leaf Nope 0-1;\nSG_MUL_VAL_ 200 Leaf Sub 0-;\nSG_MUL_VAL_ 200 Leaf Sub 3-1;\n"
            "SG_MUL_VAL_ 200 Flat Sub 0-1;\nSG_MUL_VAL_ 200 Leaf Flat 0-1;\nSG_MUL_VAL_ 200 Leaf Sub 2-3, 5-5;\n"
            "SG_MUL_VAL_ 200 Leaf Mode 1-1;\nSG_MUL_VAL_ 200 Sub Loop 1-1;\nSG_MUL_VAL_ 200 Loop Sub 1-1;\n";
    const int afterBig = 19 + Database::kMaxSignalsPerMessage + 1;
    const std::vector<std::pair<int, QString>> expected = {
        {3, QStringLiteral("signal length must be 1 to 64")},
        {4, QStringLiteral("cannot read the byte order and sign")},
        {5, QStringLiteral("cannot read the factor, offset, minimum or maximum")},
        {6, QStringLiteral("cannot read the unit")},
        {7, QStringLiteral("signal A defined twice in Good")},
        {8, QStringLiteral("cannot read the multiplexer \"x3\"")},
        {9, QStringLiteral("message 100 defined twice")},
        {10, QStringLiteral("a signal outside a message")},
        {11, QStringLiteral("message length must be 0 to 64")},
        {12, QStringLiteral("cannot read the message")},
        {13, QStringLiteral("unknown statement \"FOO bar\"")},
        {afterBig, QStringLiteral("more than 1024 signals in Big")},
        {afterBig + 1, QStringLiteral("a text in quotes is not closed")},
        {14, QStringLiteral("cannot read the value descriptions")},
        {15, QStringLiteral("no message 999")},
        {16, QStringLiteral("no signal Z in Good")},
        {17, QStringLiteral("a float is 32 bits long, a double 64")},
        {18, QStringLiteral("cannot read the value type")},
        {afterBig + 8, QStringLiteral("no signal Nope in After")},
        {afterBig + 9, QStringLiteral("cannot read the multiplexer value ranges")},
        {afterBig + 10, QStringLiteral("multiplexer value range 3-1 is empty")},
        {afterBig + 11, QStringLiteral("signal Flat is not multiplexed")},
        {afterBig + 12, QStringLiteral("signal Flat is not a multiplexor")},
        {afterBig + 14, QStringLiteral("signal Leaf is already selected by Sub")},
        {afterBig + 16, QStringLiteral("signal Loop selects itself through Sub")},
    };
    std::vector<Report> reports;
    const Database db = Database::read(text, QStringLiteral("broken.dbc"), reports);
    std::vector<std::pair<int, QString>> actual;
    for (const Report& r : reports) {
        EXPECT_EQ(r.file, QStringLiteral("broken.dbc"));
        actual.emplace_back(r.line, r.text);
    }
    EXPECT_EQ(actual, expected);
    ASSERT_EQ(db.messages().size(), 3u);
    EXPECT_EQ(db.messages()[0].signalList.size(), 1u);
    EXPECT_EQ(db.messages()[1].signalList.size(), static_cast<std::size_t>(Database::kMaxSignalsPerMessage));
    EXPECT_EQ(db.messages()[2].name, QStringLiteral("After"));
    // The circle's members are never selected, nor what they select.
    EXPECT_EQ(decoded(db.messages()[2], frameOf(200, false, QByteArray::fromHex("11220000"))).size(), 2u);

    reports.clear();
    Database::read(QByteArray("x\n").repeated(Database::kMaxReports + 5), {}, reports);
    ASSERT_EQ(reports.size(), static_cast<std::size_t>(Database::kMaxReports) + 1);
    EXPECT_EQ(reports.back().text, QStringLiteral("more than 1000 lines cannot be read; the rest are not reported"));
}

TEST(SignalDatabase, ReadsJ1939MultiplexingTextsAndComments)
{
    const QByteArray text = "VERSION \"\"\r\nNS_ :\r\n\tNS_DESC_\r\n\tCM_\r\nBS_:\r\nBU_: ECU Dash\r\n"
                            "BO_ 2364540158 EEC1: 8 ECU\r\n"
                            " SG_ EngineSpeed : 24|16@1+ (0.125,0) [0|8031.875] \"rpm\" Dash,Logger\r\n"
                            " SG_ Temp : 7|8@0- (1,-40) [-40|210] \"\xB0""C\" Vector__XXX\r\n\r\n"
                            "BO_ 256 Gearbox: 8 ECU\r\n"
                            " SG_ Mode M : 0|4@1+ (1,0) [0|15] \"\" Vector__XXX\r\n"
                            " SG_ Gear m1 : 8|4@1+ (1,0) [0|15] \"\" Vector__XXX\r\n"
                            " SG_ Ratio m2 : 8|16@1+ (0.001,0) [0|65] \"\" Vector__XXX\r\n"
                            "CM_ BO_ 2364540158 \"Electronic engine controller 1\";\r\n"
                            "CM_ SG_ 2364540158 EngineSpeed \"Actual \\\"engine\\\" speed\r\nover two lines\";\r\n"
                            "BA_DEF_ BO_ \"VFrameFormat\" ENUM \"StandardCAN\",\"ExtendedCAN\",\"reserved\",\"J1939PG\";\r\n"
                            "BA_ \"VFrameFormat\" BO_ 2364540158 3;\r\n"
                            "VAL_ 256 Gear 0 \"Neutral\" 1 \"First\" 15 \"Error\" ;\r\n";
    std::vector<Report> reports;
    const Database db = Database::read(text, QStringLiteral("hand.dbc"), reports);
    EXPECT_TRUE(reports.empty()) << reports.front().line << " " << reports.front().text.toStdString();
    EXPECT_FALSE(db.isJ1939());
    ASSERT_EQ(db.messages().size(), 2u);
    const Message& eec1 = db.messages()[0];
    EXPECT_TRUE(eec1.j1939);
    EXPECT_EQ(eec1.comment, QStringLiteral("Electronic engine controller 1"));
    EXPECT_EQ(eec1.signalList[0].comment, QStringLiteral("Actual \"engine\" speed\nover two lines"));
    EXPECT_EQ(eec1.signalList[0].receivers, QStringList({QStringLiteral("Dash"), QStringLiteral("Logger")}));
    EXPECT_EQ(eec1.signalList[1].unit, QStringLiteral("\u00B0C"));
    // The same bytes as UTF-8 read the same unit.
    QByteArray utf8 = text;
    utf8.replace("\xB0", "\xC2\xB0");
    EXPECT_EQ(Database::read(utf8, {}, reports).messages()[0].signalList[1].unit, QStringLiteral("\u00B0C"));

    // Any priority and source address find the group; each source is its own key.
    EXPECT_EQ(db.find(0x18F00433, true), &eec1);
    EXPECT_EQ(db.find(0x0CF00400, true), &eec1);
    EXPECT_EQ(db.find(0x0CF10400, true), nullptr);
    EXPECT_EQ(db.find(0x100, true), nullptr);
    const Message& gearbox = *db.find(0x100, false);
    EXPECT_EQ(signalKey(eec1, eec1.signalList[0], 0x18F00433), QStringLiteral("EEC1.EngineSpeed@33"));
    EXPECT_EQ(signalKey(eec1, eec1.signalList[0], 0x0CF004FE), QStringLiteral("EEC1.EngineSpeed@FE"));
    EXPECT_EQ(signalKey(gearbox, gearbox.signalList[1], 0x100), QStringLiteral("Gearbox.Gear"));

    auto engine = decoded(eec1, frameOf(0x18F00433, true, QByteArray::fromHex("F60000401F000000")));
    EXPECT_EQ(engine[QStringLiteral("EngineSpeed")].value, 1000.0);
    EXPECT_EQ(engine[QStringLiteral("Temp")].value, -50.0);
    EXPECT_TRUE(decoded(eec1, frameOf(0x18F00433, true, QByteArray::fromHex("F60000"))).count(QStringLiteral("Temp")));
    EXPECT_EQ(decoded(eec1, frameOf(0x18F00433, true, QByteArray::fromHex("F60000"))).size(), 1u);

    auto first = decoded(gearbox, frameOf(0x100, false, QByteArray::fromHex("010F")));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[QStringLiteral("Gear")].signal->valueText(first[QStringLiteral("Gear")].bits), QStringLiteral("Error"));
    auto second = decoded(gearbox, frameOf(0x100, false, QByteArray::fromHex("02102700")));
    ASSERT_EQ(second.size(), 2u);
    EXPECT_DOUBLE_EQ(second[QStringLiteral("Ratio")].value, 10.0);
}

TEST(SignalDatabase, FollowsChainsOfMultiplexorsByTheirRanges)
{
    // Sub comes before the Mode that selects it; Leaf needs Sub in the frame.
    const QByteArray text = "BO_ 300 Chain: 8 ECU\n"
                            " SG_ Sub m1M : 8|8@1+ (1,0) [0|255] \"\" X\n"
                            " SG_ Mode M : 0|4@1+ (1,0) [0|15] \"\" X\n"
                            " SG_ Leaf m0 : 4|4@1+ (1,0) [0|15] \"\" X\n"
                            " SG_ Plain m2 : 16|8@1+ (1,0) [0|255] \"\" X\n"
                            "SG_MUL_VAL_ 300 Sub Mode 1-1, 3-4;\nSG_MUL_VAL_ 300 Leaf Sub 2-5,9-9 ;\n";
    std::vector<Report> reports;
    const Database db = Database::read(text, {}, reports);
    ASSERT_TRUE(reports.empty()) << reports.front().text.toStdString();
    const std::vector<std::pair<const char*, std::vector<QString>>> cases = {
        {"31", {"Mode"}},
        {"3103", {"Leaf", "Mode", "Sub"}},
        {"3107", {"Mode", "Sub"}},
        {"F409", {"Leaf", "Mode", "Sub"}},
        {"320900", {"Mode", "Plain"}},
        {"300300", {"Mode"}},
    };
    for (const auto& [data, names] : cases) {
        std::vector<QString> actual;
        for (const auto& [name, signal] : decoded(db.messages()[0], frameOf(300, false, QByteArray::fromHex(data))))
            actual.push_back(name);
        EXPECT_EQ(actual, names) << data;
    }
}

TEST(SignalDatabase, DecodesEverySignalAsCanmatrixDoes)
{
    const test::Finished probe = test::runProcess(QStringLiteral("/usr/bin/python3"),
                                                  {QStringLiteral("-c"), QStringLiteral("import canmatrix")});
    ASSERT_EQ(probe.exitCode, 0) << "python3-canmatrix is missing: apt-get install python3-canmatrix";
    QTemporaryDir dir;
    const test::Finished made = test::runProcess(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(TELLVANE_SOURCE_DIR "/tests/signals/canmatrix_reference.py"), dir.path()});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    QFile file(dir.filePath(QStringLiteral("expected.json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray cases = QJsonDocument::fromJson(file.readAll()).array();
    ASSERT_EQ(cases.size(), 2);
    int compared = 0;
    for (const QJsonValue& c : cases) {
        std::vector<Report> reports;
        QString error;
        const auto db = Database::load(c[QStringLiteral("dbc")].toString(), reports, error);
        ASSERT_TRUE(db) << error.toStdString();
        EXPECT_TRUE(reports.empty()) << reports.front().line << " " << reports.front().text.toStdString();
        for (const QJsonValue& row : c[QStringLiteral("frames")].toArray()) {
            const TraceFrame frame = frameOf(static_cast<std::uint32_t>(row[QStringLiteral("id")].toInteger()),
                                             row[QStringLiteral("extended")].toBool(),
                                             QByteArray::fromHex(row[QStringLiteral("data")].toString().toLatin1()));
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(frame.id, 0, 16).arg(row[QStringLiteral("data")].toString()).toStdString());
            const Message* message = db->find(frame.id, frame.extended());
            ASSERT_EQ(message ? message->name : QString(), row[QStringLiteral("message")].toString());
            if (!message)
                continue;
            const auto ours = decoded(*message, frame);
            const QJsonObject theirs = row[QStringLiteral("signals")].toObject();
            ASSERT_EQ(ours.size(), static_cast<std::size_t>(theirs.size()));
            for (auto it = theirs.begin(); it != theirs.end(); ++it) {
                SCOPED_TRACE(it.key().toStdString());
                ASSERT_TRUE(ours.count(it.key()));
                const DecodedSignal& s = ours.at(it.key());
                const QString value = it.value()[QStringLiteral("value")].toString();
                if (value.contains(QLatin1String("NaN"), Qt::CaseInsensitive)) {
                    EXPECT_TRUE(std::isnan(s.value));
                } else if (value.contains(QLatin1String("Infinity"))) {
                    EXPECT_EQ(s.value, value.startsWith(QLatin1Char('-')) ? -INFINITY : INFINITY);
                } else {
                    const double expected = value.toDouble();
                    EXPECT_NEAR(s.value, expected, 1e-12 * std::max(1.0, std::abs(expected))) << value.toStdString();
                }
                EXPECT_EQ(s.signal->valueText(s.bits), it.value()[QStringLiteral("text")].toString());
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 10000);
}
