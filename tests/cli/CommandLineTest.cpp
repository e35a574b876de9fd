#include "cli/CommandLine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

using namespace tellvane::cli;
using namespace tellvane::firmware;

namespace {

struct NumberCase {
    const char* name;
    const char* text;
    std::optional<qint64> value;
};

TEST(WholeNumber, TakesDecimalAndHexadecimalExactlyAsTyped)
{
    const NumberCase cases[] = {
        {"lowest address", "0", 0},
        {"highest address", "253", 253},
        {"conflict address", "254", std::nullopt},
        {"broadcast", "255", std::nullopt},
        {"leading zero is decimal, not octal", "033", 33},
        {"many leading zeros", "0000000000000000000000033", 33},
        {"hexadecimal", "0x21", 33},
        {"hexadecimal, capital X", "0X21", 33},
        {"hexadecimal, small digits", "0xfd", 253},
        {"hexadecimal, capital digits", "0XFD", 253},
        {"hexadecimal with leading zeros", "0x00FD", 253},
        {"hexadecimal past the range", "0xFE", std::nullopt},
        {"0x alone", "0x", std::nullopt},
        {"X alone", "X", std::nullopt},
        {"hexadecimal digits without 0x", "21h", std::nullopt},
        {"not a hexadecimal digit", "0xG1", std::nullopt},
        {"sign inside hexadecimal", "0x-1", std::nullopt},
        {"negative", "-1", std::nullopt},
        {"explicit plus", "+5", std::nullopt},
        {"fraction", "1.5", std::nullopt},
        {"trailing letters", "12abc", std::nullopt},
        {"empty", "", std::nullopt},
        {"leading blank", " 7", std::nullopt},
        {"trailing blank", "7 ", std::nullopt},
        {"blank inside", "2 5", std::nullopt},
        {"twenty digits", "99999999999999999999", std::nullopt},
        {"binary prefix", "0b1", std::nullopt},
        {"Arabic-Indic digit three", "\xd9\xa3", std::nullopt},
        {"full-width digit seven", "\xef\xbc\x97", std::nullopt},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(wholeNumber(QString::fromUtf8(c.text), kBoardAddressRange), c.value) << c.name << ": \"" << c.text << '"';
    }
}

TEST(WholeNumber, HonoursEachRangeToItsLastValue)
{
    EXPECT_EQ(wholeNumber(u"2147483647", kCountRange), 2147483647);
    EXPECT_EQ(wholeNumber(u"0x7FFFFFFF", kCountRange), 2147483647);
    EXPECT_EQ(wholeNumber(u"2147483648", kCountRange), std::nullopt);
    EXPECT_EQ(wholeNumber(u"0", kCountRange), std::nullopt) << "a count of nothing is refused";
    EXPECT_EQ(wholeNumber(u"1", kCountRange), 1);
    EXPECT_EQ(wholeNumber(u"31536000", kSecondsRange), 31536000);
    EXPECT_EQ(wholeNumber(u"31536001", kSecondsRange), std::nullopt);
    EXPECT_EQ(wholeNumber(u"0", kSecondsRange), std::nullopt);

    // The widest range: the last value still fits, one more would overflow.
    constexpr NumberRange widest{0, std::numeric_limits<qint64>::max()};
    EXPECT_EQ(wholeNumber(u"9223372036854775807", widest), std::numeric_limits<qint64>::max());
    EXPECT_EQ(wholeNumber(u"0x7FFFFFFFFFFFFFFF", widest), std::numeric_limits<qint64>::max());
    EXPECT_EQ(wholeNumber(u"9223372036854775808", widest), std::nullopt);
    EXPECT_EQ(wholeNumber(u"0x8000000000000000", widest), std::nullopt);
    EXPECT_EQ(wholeNumber(u"18446744073709551616", widest), std::nullopt);
    EXPECT_EQ(wholeNumber(QString(10000, QLatin1Char('9')), widest), std::nullopt);
    EXPECT_EQ(wholeNumber(QString(10000, QLatin1Char('0')) + QStringLiteral("42"), widest), 42);

    // A range whose top is below a single digit.
    EXPECT_EQ(wholeNumber(u"3", {0, 3}), 3);
    EXPECT_EQ(wholeNumber(u"9", {0, 3}), std::nullopt);
    EXPECT_EQ(wholeNumber(u"90", {0, 3}), std::nullopt);
    EXPECT_EQ(wholeNumber(u"0xF", {0, 3}), std::nullopt);
}

const Command kCommand{.name = QStringLiteral("flash"),
                       .description = QStringLiteral("Flashes."),
                       .usage = QStringLiteral("usage: flash"),
                       .options = {{QStringLiteral("board"), QStringLiteral("Board."), QStringLiteral("ADDRESS")},
                                   {QStringLiteral("count"), QStringLiteral("Count."), QStringLiteral("N")},
                                   {QStringLiteral("area"), QStringLiteral("Area."), QStringLiteral("AREA")},
                                   {QStringLiteral("no-flash"), QStringLiteral("No flash.")}}};

// The arguments read as the command reads them.
std::unique_ptr<QCommandLineParser> optionsOf(const QStringList& args, const Command& command = kCommand)
{
    auto parser = std::make_unique<QCommandLineParser>();
    EXPECT_TRUE(parseCommand(*parser, command, args)) << parser->errorText().toStdString();
    return parser;
}

// Qt's text for arguments that do not fit; empty when they fit.
QString errorOf(const QStringList& args)
{
    QCommandLineParser parser;
    return parseCommand(parser, kCommand, args) ? QString() : parser.errorText();
}

TEST(BoardAddressOption, RefusesTheConflictAddressWithItsReason)
{
    const auto board = [](const char* text) {
        return boardAddressOption(*optionsOf({QStringLiteral("--board"), QString::fromLatin1(text)}));
    };
    EXPECT_EQ(board("0x21").value, 33);
    // Each as typed in its message, which tellvane-cli prints after its name.
    for (const char* conflict : {"254", "0xFE", "0xfe", "0254"}) {
        const NumberOption r = board(conflict);
        EXPECT_FALSE(r.value.has_value()) << conflict;
        EXPECT_TRUE(r.error.startsWith(QStringLiteral("--board %1 is the address of boards in address conflict")
                                           .arg(QLatin1String(conflict))))
            << r.error.toStdString();
        EXPECT_TRUE(r.error.contains(QStringLiteral("from 0 to 253"))) << r.error.toStdString();
    }
    for (const char* wrong : {"255", "-1", "1.5", "", "0x", " 7", "12abc", "99999999999999999999"}) {
        const NumberOption r = board(wrong);
        EXPECT_FALSE(r.value.has_value()) << wrong;
        EXPECT_EQ(r.error, QStringLiteral("--board takes a whole number from 0 to 253, decimal or hexadecimal after 0x, "
                                          "not \"%1\"").arg(QLatin1String(wrong)));
    }
    const NumberOption absent = boardAddressOption(*optionsOf({}));
    EXPECT_TRUE(absent.ok() && !absent.value) << "absent: the caller asks for it";
}

TEST(AreaIdOfWord, TakesTheFourNumbersAndTheFourWordsOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"0", "0"}, {"1", "1"}, {"2", "2"}, {"3", "3"},
        {"boot", "0"}, {"BOOT", "0"}, {"Boot", "0"},
        {"sys", "1"}, {"SyS", "1"},
        {"pcode", "2"}, {"pCode", "2"}, {"PCODE", "2"},
        {"config", "3"}, {"Config", "3"},
        {"4", ""}, {"7", ""}, {"-1", ""}, {"02", ""}, {"2 ", ""}, {" 2", ""}, {"", ""},
        {"V", ""}, {"p", ""}, {"code", ""}, {"pCode:", ""}, {"Boot: V1.02", ""}, {"configuration", ""},
        {"boo", ""}, {"system", ""},
        {"\xc5\xbfys", ""},          // a long s, which folds to "s" in Unicode
        {"boo\xe2\x80\x8bt", ""},    // a zero-width space inside
    };
    for (const auto& [word, id] : cases)
        EXPECT_EQ(areaIdOfWord(QString::fromUtf8(word)), QString::fromLatin1(id)) << '"' << word << '"';
    // The refusal's words are the process test's "area V".
}

TEST(AreaLine, IsTheLineWhoseKeywordNamesTheArea)
{
    const QStringList info = {
        QStringLiteral("Board: 5384 P-code 12010003"), QStringLiteral("Boot: V1.02 2019-03-01"),
        QStringLiteral("Sys: V2.10"), QStringLiteral("pCode: V3.04"), QStringLiteral("Config: rev 7"),
    };
    EXPECT_EQ(areaLine(info, QStringLiteral("0")), 1);
    EXPECT_EQ(areaLine(info, QStringLiteral("1")), 2);
    EXPECT_EQ(areaLine(info, QStringLiteral("2")), 3) << "not the boot line, which holds a 2 in its date";
    EXPECT_EQ(areaLine(info, QStringLiteral("3")), 4);
    EXPECT_EQ(areaLine(info, QString()), -1);
    EXPECT_EQ(areaLine(info, QStringLiteral("4")), -1);
    // Which keyword is tested first, and lines without one: the area-of-a-line test.

    EXPECT_EQ(areaKeyword(QStringLiteral("0")), QStringLiteral("Boot:"));
    EXPECT_EQ(areaKeyword(QStringLiteral("2")), QStringLiteral("pCode:"));
    EXPECT_EQ(areaKeyword(QStringLiteral("9")), QString());
}

TEST(ParseCommand, SortsValuesSwitchesAndTheRestAsQtReadsThem)
{
    const auto o = optionsOf({QStringLiteral("--board"), QStringLiteral("--area"), QStringLiteral("--no-flash"),
                              QStringLiteral("extra")});
    EXPECT_EQ(o->value(QStringLiteral("board")), QStringLiteral("--area")) << "a valued option takes the next argument";
    EXPECT_TRUE(o->isSet(QStringLiteral("no-flash")));
    EXPECT_FALSE(o->isSet(QStringLiteral("area")));
    EXPECT_EQ(o->positionalArguments(), QStringList{QStringLiteral("extra")}) << "the command's name is not one";
    EXPECT_FALSE(helpAsked(*o));

    EXPECT_EQ(optionsOf({QStringLiteral("--board=0x21")})->value(QStringLiteral("board")), QStringLiteral("0x21"));
    const QStringList twice = {QStringLiteral("--board"), QStringLiteral("1"), QStringLiteral("--board"),
                               QStringLiteral("2")};
    EXPECT_EQ(optionsOf(twice)->value(QStringLiteral("board")),
              QStringLiteral("2"))
        << "the last one given counts";
    EXPECT_TRUE(helpAsked(*optionsOf({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("-h")})));
    EXPECT_TRUE(helpAsked(*optionsOf({QStringLiteral("--help-all")})));

    EXPECT_EQ(errorOf({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--board")}),
              QStringLiteral("Missing value after '--board'."));
    EXPECT_EQ(errorOf({QStringLiteral("--bord"), QStringLiteral("3")}), QStringLiteral("Unknown option 'bord'."));
    EXPECT_EQ(errorOf({QStringLiteral("-1")}), QStringLiteral("Unknown option '1'."))
        << "a dash word is an option, never a number";
    EXPECT_EQ(errorOf({QStringLiteral("--no-flash=yes")}), QStringLiteral("Unexpected value after '--no-flash'."));
    EXPECT_EQ(errorOf({QStringLiteral("--help"), QStringLiteral("--bord")}), QStringLiteral("Unknown option 'bord'."))
        << "the error comes before the help";
}

TEST(ParseCommand, HelpNamesTheCommandItsOptionsAndItsArguments)
{
    const QString flash = optionsOf({})->helpText();
    EXPECT_TRUE(flash.contains(QStringLiteral("[options] flash\n"))) << flash.toStdString();
    EXPECT_TRUE(flash.contains(QStringLiteral("--board <ADDRESS>"))) << flash.toStdString();
    EXPECT_TRUE(flash.contains(QStringLiteral("Flashes."))) << flash.toStdString();

    Command check = kCommand;
    check.name = QStringLiteral("check-config");
    check.arguments = QStringLiteral("FILE");
    check.argumentsHelp = QStringLiteral("The file.");
    const auto options = optionsOf({QStringLiteral("a.cfg"), QStringLiteral("--no-flash")}, check);
    EXPECT_EQ(options->positionalArguments(), QStringList{QStringLiteral("a.cfg")});
    const QString text = options->helpText();
    EXPECT_TRUE(text.contains(QStringLiteral("[options] check-config FILE\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("The file."))) << text.toStdString();
}

}  // namespace
