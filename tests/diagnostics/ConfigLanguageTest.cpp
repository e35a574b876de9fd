#include "core/Failure.h"
#include "diagnostics/ConfigLine.h"
#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/ItemReading.h"

#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

TEST(ConfigLine, CleanUpAndComments)
{
    const std::pair<const char*, const char*> cleaned[] = {
        {"\tLABEL ,  Speed,, 3600,120 ", "LABEL ,  Speed,, 3600,120"},
        {"  \t  ", ""},
        {"\t\t\t", ""},
        {"a\tb", "ab"},
        {"   ' a note", "' a note"},
    };
    for (auto [in, out] : cleaned)
        EXPECT_EQ(config::stringTrim(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
    EXPECT_TRUE(config::isCommentOrEmpty(QString()));
    EXPECT_TRUE(config::isCommentOrEmpty(QStringLiteral("' note")));
    EXPECT_FALSE(config::isCommentOrEmpty(QStringLiteral("LABEL ' not a comment")));
}

TEST(ConfigLine, ItemsAreSplitAtEveryCommaAndEmptyOnesDropped)
{
    struct Case {
        const char* line;
        QStringList items;
    };
    const Case cases[] = {
        {"label, Speed, 3600, 120, 1000, 255", {"label", "Speed", "3600", "120", "1000", "255"}},
        {"LABEL , Speed ,3600,120,1000,255", {"LABEL", "Speed", "3600", "120", "1000", "255"}},
        {"LABEL, Speed,, 3600, 120, 1000, 255", {"LABEL", "Speed", "3600", "120", "1000", "255"}},
        {",LABEL,,", {"LABEL"}},
        {"MESSAGE, Hello, world", {"MESSAGE", "Hello", "world"}},
        {" , , ", {}},
        {"A,\"b,c\"", {"A", "\"b", "c\""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(config::readConfigLine(QString::fromLatin1(c.line)), c.items) << c.line;

    int pnt = 1;
    const QString line = QStringLiteral("a , b");
    EXPECT_EQ(config::getNextLineItem(pnt, line), QStringLiteral("a"));
    EXPECT_EQ(pnt, 4);
    EXPECT_EQ(config::getNextLineItem(pnt, line), QStringLiteral("b"));
    EXPECT_EQ(pnt, 6);
    EXPECT_EQ(config::getNextLineItem(pnt, line), QString());
    EXPECT_EQ(pnt, 6) << "past the end the position stays";
}

TEST(ConfigLine, HugeLinesAndOddEndings)
{
    QString many;
    for (int i = 0; i < 40000; ++i)
        many += QStringLiteral("a,");
    EXPECT_THROW(config::readConfigLine(many), Failure) << "more items than a 16-bit count";
    EXPECT_EQ(config::readConfigLine(QString(10000, QLatin1Char('x'))).size(), 1);

    EXPECT_EQ(config::splitLines("a\r\nb\nc\rd"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(config::splitLines("a\r\n\r\nb\r\n"), QStringList({"a", "", "b"}));
    EXPECT_EQ(config::splitLines(QByteArray("x\0y", 3)).at(0).size(), 3) << "a NUL byte is kept";
    EXPECT_EQ(config::splitLines("caf\xE9").at(0), QString::fromLatin1("caf\xE9")) << "not UTF-8: byte for byte";
    EXPECT_EQ(config::splitLines("caf\xC3\xA9").at(0), QString::fromUtf8("caf\xC3\xA9"));
}

TEST(ItemReading, NumbersBytesWholeNumbersAndColours)
{
    EXPECT_EQ(config::readNumber(QStringLiteral("3600 twips")), 3600);
    EXPECT_EQ(config::readNumber(QStringLiteral("abc")), 0);
    EXPECT_EQ(config::readByte(QStringLiteral("7")), 7);
    EXPECT_EQ(config::readByte(QStringLiteral("254.5")), 254) << "halves to even";
    for (const char* bad : {"300", "-1", "255.6"})
        EXPECT_THROW(config::readByte(QString::fromLatin1(bad)), Failure) << bad;

    const std::pair<const char*, int> whole[] = {{"18", 18}, {" 18 ", 18}, {"&H12", 18}, {"1e2", 100}, {"18.5", 18},
                                                 {"-4", -4}, {"4660", 4660}};
    for (auto [text, value] : whole)
        EXPECT_EQ(config::readWholeStrict(QString::fromLatin1(text)), value) << text;
    for (const char* bad : {"18a", "", "abc", "1 8x", "&H"}) {
        try {
            config::readWholeStrict(QString::fromLatin1(bad));
            ADD_FAILURE() << bad;
        } catch (const Failure& f) {
            EXPECT_EQ(f.code(), FailureCode::TypeMismatch) << bad;
        }
    }
    EXPECT_THROW(config::readWholeStrict(QStringLiteral("3000000000")), Failure);

    const std::pair<const char*, std::int32_t> colours[] = {
        {"LG", 0x00FF00}, {"dg", 0x008000}, {"Ly", 0x00FFFF}, {"DY", 0x00C0C0}, {"LR", 0x0000FF}, {"dr", 0x0000C0},
        {"LE", 0xC0C0C0}, {"DE", 0x808080}, {"BL", 0}, {"WH", 0xFFFFFF}, {"255", 0xFF}, {"16711680", 0xFF0000},
        {"&HFF0000", 0xFF0000}, {"XX", 0}, {"LGX", 0}, {"", 0},
    };
    for (auto [code, value] : colours)
        EXPECT_EQ(config::colourFromCode(QString::fromLatin1(code)), value) << code;
}

// Records what the loader asks of the screen.
struct RecordingTarget final : CommandTarget {
    QStringList calls;
    QString message;
    int width = 0, height = 0;
    void record(const char* what, const QStringList& param) { calls.append(QString::fromLatin1(what) + QLatin1Char(':') + param.join(QLatin1Char('|'))); }
    void setMessageText(const QString& text) override { message = text; }
    void setFormSize(int w, int h) override
    {
        width = w;
        height = h;
    }
    void createTabControl(QStringList& p, const QString&) override { record("TAB", p); }
    void createFrameControl(QStringList& p, const QString&) override { record("FRAME", p); }
    void createLabelControl(QStringList& p, const QString&) override { record("LABEL", p); }
    void createBitControl(QStringList& p, const QString&) override { record("BIT", p); }
    void createBWLTextControl(QStringList& p, const QString&) override { record("BWLTEXT", p); }
    void createBFTextControl(QStringList& p, const QString&, bool isSigned) override { record(isSigned ? "SBFTEXT" : "BFTEXT", p); }
    void setAdditionalProperty(QStringList& p, const QString&) override { record("PROPERTY", p); }
    void setTabControlToFirst() override { calls.append(QStringLiteral("FIRST")); }
};

struct LoaderFixture : ::testing::Test {
    QTemporaryDir dir;
    RecordingTarget target;
    test::ErrorCollector errors;
    ConfigurationLoader loader{target, 3};

    bool load(const QByteArray& config, const QByteArray& groups = QByteArray())
    {
        if (!groups.isNull())
            test::writeFile(dir.filePath(QStringLiteral("groups.grp")), groups);
        return loader.run(test::writeFile(dir.filePath(QStringLiteral("12-0034.cfg")), config));
    }
    void line(const char* text)
    {
        const QString cleaned = config::stringTrim(QString::fromUtf8(text));
        QStringList param = config::readConfigLine(cleaned);
        loader.processCommand(cleaned, param);
    }
};

TEST_F(LoaderFixture, FileNameFromStyleAndVariant)
{
    EXPECT_EQ(ConfigurationLoader::configFileName(QStringLiteral("0012"), QStringLiteral("0034")),
              QStringLiteral("12-0034.cfg"));
    EXPECT_EQ(ConfigurationLoader::configFileName(QStringLiteral("0012"), QStringLiteral("34")),
              QStringLiteral("12-0034.cfg"));
    EXPECT_EQ(ConfigurationLoader::configFileName(QStringLiteral("1201"), QStringLiteral("0003")),
              QStringLiteral("1201-0003.cfg"));
    EXPECT_EQ(ConfigurationLoader::configFileName(QStringLiteral("abc"), QString()), QStringLiteral("0-0000.cfg"));
    EXPECT_THROW(ConfigurationLoader::configFileName(QStringLiteral("99999"), QStringLiteral("1")), Failure);

    test::writeFile(dir.filePath(QStringLiteral("12-0034.cfg")), "LABEL, A, 1, 2, 3, 4\n");
    EXPECT_TRUE(loader.enterDiagnosticMode(QStringLiteral("0012"), QStringLiteral("34"), dir.path()));
    EXPECT_FALSE(loader.enterDiagnosticMode(QStringLiteral("0012"), QStringLiteral("35"), dir.path()));
    EXPECT_FALSE(loader.enterDiagnosticMode(QStringLiteral("99999"), QStringLiteral("35"), dir.path()));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("An unexpected error 6'Overflow' occured within EnterDiagnosticMode "
                                                 "with FormIndex =3, Filename=, NextLine="));
}

// What each command builds, and the warnings of wrong counts and unknown
// commands, are in the golden files; here what they do not show.
TEST_F(LoaderFixture, EveryLineBreakMarkIsReplacedOnce)
{
    const std::pair<QByteArray, QString> cases[] = {
        {"<CR>", "\r\n"},
        {"a<cR>b<Cr>", "a\r\nb\r\n"},
        {"<<CR>CR>", "<\r\nCR>"},  // what a replacement leaves is not a new mark
        {"<CR<CR>>x<C R>", "<CR\r\n>x<C R>"},
        {"no marks", "no marks"},
    };
    for (const auto& [text, expected] : cases) {
        target.message.clear();
        ASSERT_TRUE(load("MESSAGE, " + text + "\r\n"));
        EXPECT_EQ(target.message, expected) << text.toStdString();
    }
    // A long line: every one of its marks.
    ASSERT_TRUE(load("MESSAGE, " + QByteArray("ab<CR>").repeated(20000) + "end\r\n"));
    EXPECT_EQ(target.message, QStringLiteral("ab\r\n").repeated(20000) + QStringLiteral("end"));
    EXPECT_TRUE(errors.messages.isEmpty());
}

// Warnings that quote the line, and FORM numbers that do not fit: the golden
// file refused-values; a file behind a byte-order mark, Latin-1 or UTF-8:
// marked-latin1 and marked-utf8.

// Arguments, unknown groups, bad placeholders and endless nesting are in the golden files.
TEST_F(LoaderFixture, GroupsIgnoreWhatFollowsTheirNameAndKeepPlaceholdersBeyondTheArguments)
{
    ASSERT_TRUE(load("GROUP, Pump, 3600\r\n",
                     "STARTGROUP, Pump, ignored\r\n"
                     "LABEL, PARAM7, Parameters, 1, 2, 3\r\n"
                     "LABEL, param9, Param1, 1, 1, 1\r\n"
                     "STARTGROUP, inner\r\n"));
    EXPECT_EQ(target.calls, QStringList({"LABEL:LABEL|PARAM7|Parameters|1|2|3", "LABEL:LABEL|param9|Pump|1|1|1", "FIRST"}))
        << "a placeholder beyond the arguments stays; a word that only starts like one is text";
    // A STARTGROUP inside a body (this one runs to the end of the file) is a command line.
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0],
              QStringLiteral("A warning occured within ProcessCommand, could not find a match  for STARTGROUP, inner"));
}

TEST_F(LoaderFixture, AGroupStartedInsideAnotherRunsToItsEndgroup)
{
    // B starts inside A's body; both end at the same ENDGROUP. An empty group
    // is found and says nothing. Each group expands the same way every time.
    ASSERT_TRUE(load("GROUP, B, 1\r\nGROUP, A, 2\r\nGROUP, Empty, 0\r\nGROUP, B, 3\r\n",
                     "STARTGROUP, A\r\n"
                     "LABEL, a, PARAM2, 2, 3, 4\r\n"
                     "STARTGROUP, B\r\n"
                     "LABEL, b, PARAM2, 2, 3, 4\r\n"
                     "ENDGROUP\r\n"
                     "STARTGROUP, Empty\r\n"
                     "ENDGROUP\r\n"
                     "STARTGROUP, b\r\n"
                     "LABEL, b2, PARAM2, 2, 3, 4\r\n"
                     "ENDGROUP\r\n"));
    const QStringList expected = {
        "LABEL:LABEL|b|1|2|3|4", "LABEL:LABEL|b2|1|2|3|4", "LABEL:LABEL|a|2|2|3|4", "LABEL:LABEL|b|2|2|3|4",
        "LABEL:LABEL|b|3|2|3|4", "LABEL:LABEL|b2|3|2|3|4", "FIRST",
    };
    EXPECT_EQ(target.calls, expected) << target.calls.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(errors.messages.size(), 1) << errors.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(errors.messages[0],
              QStringLiteral("A warning occured within ProcessCommand, could not find a match  for STARTGROUP, B"));
}

TEST_F(LoaderFixture, GroupsThatMultiplyAreStopped)
{
    // Each level invokes itself twice: without a bound, 2^16 expansions.
    ASSERT_TRUE(load("GROUP, Twice, x\r\n", "STARTGROUP, Twice\r\nGROUP, Twice, a\r\nGROUP, Twice, b\r\nENDGROUP\r\n"));
    ASSERT_EQ(errors.messages.size(), 2) << "each bound once";
    EXPECT_TRUE(errors.messages[0].contains(QStringLiteral("nest more than 16 deep")));
    EXPECT_TRUE(errors.messages[1].contains(QStringLiteral("more than 10000 groups expanded")));
    // Each LABEL line is one call; the bound counts expansions, so exactly
    // 10000 groups ran, the first of them from the file.
    EXPECT_EQ(target.calls.size(), 1) << "only the final call; Twice builds nothing";

    // A smaller bound stops sooner, with its own number in the warning.
    errors.messages.clear();
    RecordingTarget small;
    ConfigurationLoader bounded(small, 3, 3);
    test::writeFile(dir.filePath(QStringLiteral("groups.grp")),
                    "STARTGROUP, Twice\r\nLABEL, PARAM2, 1, 2, 3, 4\r\nGROUP, Twice, a\r\nGROUP, Twice, b\r\nENDGROUP\r\n");
    ASSERT_TRUE(bounded.run(test::writeFile(dir.filePath(QStringLiteral("12-0034.cfg")), "GROUP, Twice, x\r\n")));
    EXPECT_EQ(small.calls, QStringList({"LABEL:LABEL|x|1|2|3|4", "LABEL:LABEL|a|1|2|3|4", "LABEL:LABEL|a|1|2|3|4",
                                        "FIRST"}));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_EQ(errors.messages[0], QStringLiteral("A warning occured within ProcessGroupCommand, more than 3 groups "
                                                 "expanded in one file, group Twice and the groups after it are not "
                                                 "expanded in config line GROUP, Twice, a"));
}

TEST_F(LoaderFixture, AGroupFileThatCannotBeReadIsReportedAtEveryGroupLine)
{
    // A group file whose reading fails (a file of the kernel's that gives a
    // read error even to the superuser).
    if (!QFileInfo(QStringLiteral("/proc/self/mem")).isFile())
        GTEST_SKIP() << "needs /proc";
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), dir.filePath(QStringLiteral("groups.grp"))));
    ASSERT_TRUE(load("GROUP, Pump, 1\r\nLABEL, Between, 1, 2, 3, 4\r\nGROUP, Valve, 2\r\n"));
    ASSERT_EQ(errors.messages.size(), 2) << errors.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(errors.messages[0], QStringLiteral("An unexpected error 57'Device I/O error' occured within "
                                                 "ProcessGroupCommand with NextLine=GROUP, Pump, 1"));
    EXPECT_EQ(errors.messages[1], QStringLiteral("An unexpected error 57'Device I/O error' occured within "
                                                 "ProcessGroupCommand with NextLine=GROUP, Valve, 2"));
    EXPECT_EQ(target.calls, QStringList({"LABEL:LABEL|Between|1|2|3|4", "FIRST"}));
}

TEST_F(LoaderFixture, NoGroupFileNoFileNoWarning)
{
    ASSERT_TRUE(load("GROUP, Pump, 1, 2\r\n"));
    EXPECT_TRUE(errors.messages.isEmpty());
    EXPECT_EQ(target.calls, QStringList({"FIRST"}));
    EXPECT_FALSE(loader.run(dir.filePath(QStringLiteral("none.cfg"))));
    EXPECT_TRUE(errors.messages.isEmpty());
}

}  // namespace
