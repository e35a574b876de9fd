// Configuration and group files are written by hand: the loader must take any
// bytes (NULs, broken UTF-8, endless lines, groups that call themselves) and
// end with warnings, never a crash or a hang. The first 0x1E byte of the input
// separates the configuration file from the group file.

#include "FuzzSupport.h"

#include "diagnostics/ConfigLine.h"
#include "diagnostics/ConfigurationLoader.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using namespace tellvane;

namespace {

struct Target final : CommandTarget {
    int commands = 0;
    void count(const QStringList& param, int expected)
    {
        FUZZ_CHECK(expected == 0 || param.size() == expected);
        for (const QString& item : param)
            FUZZ_CHECK(!item.isEmpty());
        ++commands;
    }
    void setMessageText(const QString&) override { ++commands; }
    void setFormSize(int w, int h) override
    {
        FUZZ_CHECK(w >= ConfigurationLoader::kMinFormWidth && h >= ConfigurationLoader::kMinFormHeight);
        ++commands;
    }
    void createTabControl(QStringList& p, const QString&) override
    {
        FUZZ_CHECK(p.size() == 2 || p.size() == 6);
        count(p, 0);
    }
    void createFrameControl(QStringList& p, const QString&) override { count(p, 6); }
    void createLabelControl(QStringList& p, const QString&) override { count(p, 6); }
    void createBitControl(QStringList& p, const QString&) override { count(p, 11); }
    void createBWLTextControl(QStringList& p, const QString&) override { count(p, 13); }
    void createBFTextControl(QStringList& p, const QString&, bool) override { count(p, 14); }
    void setAdditionalProperty(QStringList& p, const QString&) override
    {
        FUZZ_CHECK(p.size() >= 2 && p.at(0).startsWith(QLatin1Char('.')));
        count(p, 0);
    }
    void setTabControlToFirst() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::ensureApplication();
    fuzz::ErrorCounter errors;
    static QTemporaryDir dir;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf('\x1e');
    const QByteArray config = split < 0 ? input : input.left(split);
    const QByteArray groups = split < 0 ? QByteArray() : input.mid(split + 1);

    const QString configFile = dir.filePath(QStringLiteral("fuzz.cfg"));
    const QString groupFile = dir.filePath(QStringLiteral("groups.grp"));
    {
        QFile f(configFile);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(config);
    }
    QFile::remove(groupFile);
    if (split >= 0) {
        QFile f(groupFile);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(groups);
    }
    Target target;
    // Groups that multiply stop at the same bound check with a smaller bound;
    // the program's bound only makes each such input take longer.
    ConfigurationLoader loader(target, 0, 200);
    FUZZ_CHECK(loader.run(configFile));
    return 0;
}
