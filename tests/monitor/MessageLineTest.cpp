#include "core/Failure.h"
#include "monitor/MessageLine.h"

#include "TestSupport.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace tellvane;

namespace {

using test::makeMessage;

TEST(MessageLine, FormatsTheFortyFiveCharacterLine)
{
    struct Case {
        CanMessage m;
        const char* line;
    };
    const Case cases[] = {
        {makeMessage(0x123, {0x41, 0x20, 0x7E}, 1.5), "01.500000 00000123 3 41 20 7E                "},
        {makeMessage(0, {}), "00.000000 00000000 0                         "},
        {makeMessage(0x5, {0x0A, 0xFF}), "00.000000 00000005 2 0A FF                   "},
        {makeMessage(static_cast<std::int32_t>(0x98EF21F9u), {0x05}), "00.000000 98EF21F9 1 05                      "},
        {makeMessage(0x18EFFF21, {1, 2, 3, 4, 5, 6, 7, 8}, 0.524296), "00.524296 18EFFF21 8 01 02 03 04 05 06 07 08 "},
        {makeMessage(0x1FFFFFFF, {}, 99.9999994), "99.999999 1FFFFFFF 0                         "},
        {makeMessage(1, {}, 12.25), "12.250000 00000001 0                         "},
    };
    for (const Case& c : cases) {
        const QString line = formatMessageLine(c.m);
        EXPECT_EQ(line, QString::fromLatin1(c.line));
        EXPECT_EQ(line.size(), 45);
    }
}

TEST(MessageLine, TimesFromOneHundredSecondsKeepTheLength)
{
    const std::pair<double, const char*> cases[] = {
        {99.9999996, "100.00000"}, {100.0, "100.00000"}, {134.217720, "134.21772"}, {134.2, "134.20000"},
        {999.999996, "1000.0000"}, {-3.0, "00.000000"},
    };
    for (auto [time, text] : cases) {
        EXPECT_EQ(formatTimeField(time), QString::fromLatin1(text)) << time;
        const QString line = formatMessageLine(makeMessage(0x18EFFF21, {1, 2}, time));
        EXPECT_EQ(line.size(), 45) << time;
        EXPECT_TRUE(line.startsWith(QString::fromLatin1(text))) << time;
    }
    EXPECT_EQ(formatTimeField(1e12).size(), 9);
    for (double odd : {1e300, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(formatMessageLine(makeMessage(1, {}, odd)).size(), 45) << odd;
}

TEST(MessageLine, DecimalSeparatorIsPassedThrough)
{
    EXPECT_EQ(formatMessageLine(makeMessage(1, {}, 1.5), QLatin1Char(',')).left(9), QStringLiteral("01,500000"));
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(timeDecimalSeparator(), QLatin1Char(','));
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(timeDecimalSeparator(), QLatin1Char('.')) << "a separator outside ASCII would break the records";
    QLocale::setDefault(saved);
}

TEST(MessageLine, TooLongMessageIsAFailure)
{
    CanMessage m;
    m.length = 9;
    EXPECT_THROW(formatMessageLine(m), Failure);
}

// The list item with and without the text is the logger's test.
TEST(MessageLine, AsciiText)
{
    EXPECT_EQ(asciiText(makeMessage(1, {0x41, 0x1F, 0x7F})), QStringLiteral("A**"));
    EXPECT_EQ(asciiText(makeMessage(1, {0x20, 0x7E, 0x80, 0x00})), QStringLiteral(" ~**"));
}

TEST(MessageLine, ParsesLinesAndReportsBadOnes)
{
    const QString example = QStringLiteral("01.500000 00000123 3 41 20 7E                ");
    struct Case {
        QString line;
        LineParse status;
    };
    const Case cases[] = {
        {QString(), LineParse::Empty},
        {example.left(19), LineParse::WrongLength},
        {example.left(28), LineParse::IncorrectDataLength},
        {example.left(29), LineParse::Message},
        {example, LineParse::Message},
        {example + QStringLiteral("\r\n"), LineParse::Message},
        {QStringLiteral("01.500000 00000123 x 41 20 7E"), LineParse::Message},
        {QStringLiteral("                    "), LineParse::Message},
        {QStringLiteral("00.000000 00000001 8 01 02"), LineParse::IncorrectDataLength},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseMessageLine(c.line).status, c.status) << c.line.toStdString();

    // The fields of whole lines are the round trip's; here what a line cut
    // short, or with characters no writer makes, reads as.
    EXPECT_EQ(parseMessageLine(example.left(29)).message.time, 0.0) << "the time stamp is not read back";
    EXPECT_EQ(parseMessageLine(QStringLiteral("01.500000 00000123 x 41 20 7E")).message.length, 0)
        << "a length that is not a digit reads as 0";
    EXPECT_EQ(parseMessageLine(QStringLiteral("00.000000 12G45678 1 Z5")).message.id, 0x12);
    EXPECT_EQ(parseMessageLine(QStringLiteral("00.000000 12G45678 1 Z5")).message.data[0], 0);
}

TEST(MessageLine, ALongerTimeFieldShiftsTheFieldsAfterIt)
{
    // Older writers: six decimals from 100 s on, so 46 characters and more.
    for (const QString& time : {QStringLiteral("100.250000"), QStringLiteral("134,200000"), QStringLiteral("12345.000000")}) {
        const ParsedLine parsed = parseMessageLine(time + QStringLiteral(" 18EFF921 3 41 20 7E                "));
        EXPECT_EQ(parsed.status, LineParse::Message) << time.toStdString();
        EXPECT_EQ(parsed.message.id, 0x18EFF921) << time.toStdString();
        EXPECT_EQ(parsed.message.length, 3) << time.toStdString();
        EXPECT_EQ(parsed.message.data[2], 0x7E) << time.toStdString();
    }
    // Cut after its last byte, such a line is whole; one shorter, it is not.
    EXPECT_EQ(parseMessageLine(QStringLiteral("100.250000 18EFF921 3 41 20 7E")).status, LineParse::Message);
    EXPECT_EQ(parseMessageLine(QStringLiteral("100.250000 18EFF921 3 41 20 7")).status, LineParse::IncorrectDataLength);
    // Anything else before the first space is not a time: the fixed columns
    // hold, and the identifier's column starts with that space.
    EXPECT_EQ(parseMessageLine(QStringLiteral("1.0.250000 18EFF921 3 41 20 7E")).message.id, 0);
    EXPECT_EQ(parseMessageLine(QStringLiteral("100x250000 18EFF921 3 41 20 7E")).message.id, 0);
    EXPECT_EQ(parseMessageLine(QStringLiteral("100x250000 18EFF921 3 41 20 7E")).message.length, 0);
}

TEST(MessageLine, TheTimeOfALineForThoseThatPlotIt)
{
    EXPECT_EQ(messageLineTime(u"01.500000 18EFFF21 8 10"), 1.5);
    EXPECT_EQ(messageLineTime(u"134,20000 18EFFF21 0"), 134.2);
    EXPECT_EQ(messageLineTime(u"100.250000 18EFFF21 0"), 100.25) << "a longer field";
    EXPECT_EQ(messageLineTime(u"7"), 7.0) << "the field alone";
    EXPECT_EQ(messageLineTime(u"1.2.3 18EFFF21"), std::nullopt) << "two separators";
    EXPECT_EQ(messageLineTime(u"-1.000000 18EFFF21"), std::nullopt);
    EXPECT_EQ(messageLineTime(u". 18EFFF21"), std::nullopt) << "no digit";
    EXPECT_EQ(messageLineTime(u" 01.500000"), std::nullopt) << "nothing before the first space";
    EXPECT_EQ(messageLineTime(u"123456789012345678901 x"), std::nullopt) << "longer than any time written";
    const CanMessage m = makeMessage(0x18EFFF21, {0x10, 3, 0xE8}, 81.25);
    EXPECT_EQ(messageLineTime(formatMessageLine(m)), 81.25) << "what the monitor writes reads back";
}

TEST(MessageLine, RoundTripOverRandomMessages)
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> id(0, 0xFFFFFFFFu);
    std::uniform_int_distribution<int> length(0, 8);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<double> time(0.0, 134.3);
    for (int i = 0; i < 2000; ++i) {
        CanMessage m;
        m.id = static_cast<std::int32_t>(id(random));
        m.time = time(random);
        m.length = static_cast<std::uint8_t>(length(random));
        for (int b = 0; b < m.length; ++b)
            m.data[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(byte(random));
        const QString line = formatMessageLine(m);
        ASSERT_EQ(line.size(), 45);
        const ParsedLine back = parseMessageLine(line);
        ASSERT_EQ(back.status, LineParse::Message);
        EXPECT_EQ(back.message.id, m.id);
        EXPECT_EQ(back.message.length, m.length);
        EXPECT_EQ(back.message.data, m.data);
    }
}

}  // namespace
