#include "core/ProgramFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

using namespace tellvane;

namespace {

// A root with bin/ for the executable; each case adds the folders it needs.
struct Layout {
    QTemporaryDir root;
    QString bin() const { return root.filePath(QStringLiteral("usr/bin")); }
    QString share() const { return root.filePath(QStringLiteral("usr/share/tellvane")); }
    void makeFolder(const QString& path) const { ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString(); }
    Layout() { makeFolder(bin()); }
};

struct Case {
    const char* name;
    bool configurationBeside;
    bool configurationInstalled;
    bool helpOnlyInstalled;      // share/tellvane holds help/ but no Configuration/
    bool fileNamedConfiguration;  // a plain file named Configuration beside the executable
    bool expectInstalled;
};

class ProgramFilesFolder : public ::testing::TestWithParam<Case> {};

TEST_P(ProgramFilesFolder, FollowsTheSearchOrder)
{
    const Case& c = GetParam();
    Layout layout;
    ASSERT_TRUE(layout.root.isValid());
    if (c.configurationBeside)
        layout.makeFolder(layout.bin() + QStringLiteral("/Configuration"));
    if (c.configurationInstalled)
        layout.makeFolder(layout.share() + QStringLiteral("/Configuration"));
    if (c.helpOnlyInstalled)
        layout.makeFolder(layout.share() + QStringLiteral("/help"));
    if (c.fileNamedConfiguration) {
        QFile file(layout.bin() + QStringLiteral("/Configuration"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    const QString found = programFilesFolder(layout.bin());
    EXPECT_EQ(found, c.expectInstalled ? QDir::cleanPath(layout.share()) : layout.bin()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ProgramFilesFolder,
    ::testing::Values(
        // beside, installed, help only, file, expect installed
        Case{"build tree", true, false, false, false, false},
        Case{"installed", false, true, false, false, true},
        Case{"beside wins over installed", true, true, false, false, false},
        Case{"neither: the executable's folder", false, false, false, false, false},
        Case{"help alone does not make the installed folder", false, false, true, false, false},
        Case{"a file named Configuration is no folder", false, true, false, true, true}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST(ProgramFilesFolder, InstalledFolderIsCleanAndAbsolute)
{
    Layout layout;
    layout.makeFolder(layout.share() + QStringLiteral("/Configuration"));
    // The executable's folder as the system may give it, with a trailing slash.
    EXPECT_EQ(programFilesFolder(layout.bin() + QLatin1Char('/')), QDir::cleanPath(layout.share()));
}

}  // namespace
