// Configuration and group files are written by hand: the loader must take any
// bytes (NULs, broken UTF-8, endless lines, groups that call themselves) and
// end with warnings, never a crash or a hang. The first 0x1E byte of the input
// separates the configuration file from the group file.

#include "FuzzSupport.h"

#include "diagnostics/ConfigLine.h"
#include "diagnostics/ConfigCheck.h"
#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/ScreenBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

using namespace tellvane;

namespace {

// The dispatcher's promises checked on the way to the real builder.
struct Target final : CommandTarget {
    ScreenBuilder builder{0};
    static void count(const QStringList& param, int expected)
    {
        FUZZ_CHECK(expected == 0 || param.size() == expected);
        for (const QString& item : param)
            FUZZ_CHECK(!item.isEmpty());
    }
    void setMessageText(const QString& text) override { builder.setMessageText(text); }
    void setFormSize(int w, int h) override
    {
        FUZZ_CHECK(w >= ConfigurationLoader::kMinFormWidth && h >= ConfigurationLoader::kMinFormHeight);
        builder.setFormSize(w, h);
    }
    void createTabControl(QStringList& p, const QString& line) override
    {
        FUZZ_CHECK(p.size() == 2 || p.size() == 6);
        count(p, 0);
        builder.createTabControl(p, line);
    }
    void createFrameControl(QStringList& p, const QString& line) override
    {
        count(p, 6);
        builder.createFrameControl(p, line);
    }
    void createLabelControl(QStringList& p, const QString& line) override
    {
        count(p, 6);
        builder.createLabelControl(p, line);
    }
    void createBitControl(QStringList& p, const QString& line) override
    {
        count(p, 11);
        builder.createBitControl(p, line);
    }
    void createBWLTextControl(QStringList& p, const QString& line) override
    {
        count(p, 13);
        builder.createBWLTextControl(p, line);
    }
    void createBFTextControl(QStringList& p, const QString& line, bool isSigned) override
    {
        count(p, 14);
        builder.createBFTextControl(p, line, isSigned);
    }
    void setAdditionalProperty(QStringList& p, const QString& line) override
    {
        FUZZ_CHECK(p.size() >= 2 && p.at(0).startsWith(QLatin1Char('.')));
        count(p, 0);
        builder.setAdditionalProperty(p, line);
    }
    void setTabControlToFirst() override { builder.setTabControlToFirst(); }
};

// What the widget side relies on: containers made before what they hold, on
// a page they have, and every working indicator on a control of its kind.
void checkDefinition(const ScreenDefinition& screen)
{
    for (int i = 0; i < screen.controlCount(); ++i) {
        const ControlDefinition* c = screen.control(i);
        if (!c)
            continue;
        FUZZ_CHECK(c->name() == ScreenDefinition::controlName(0, i));
        if (c->container() == -1)
            continue;
        FUZZ_CHECK(c->container() < i);
        const ControlDefinition* container = screen.control(c->container());
        FUZZ_CHECK(container != nullptr);
        if (container->kind() == ControlKind::TabContainer)
            FUZZ_CHECK(c->page() >= 0 && c->page() < container->pageCaptions().size());
        else
            FUZZ_CHECK(container->kind() == ControlKind::Frame && c->page() == -1);
        FUZZ_CHECK(c->value(Property::Width).toInt() >= 0 && c->value(Property::Height).toInt() >= 0);
    }
    auto holds = [&](int index, ControlKind kind) {
        const ControlDefinition* c = screen.control(index);
        return c && c->kind() == kind;
    };
    for (const BitControlRecord& r : screen.bits)
        FUZZ_CHECK(!r.valid || (holds(r.cntrlIndex, ControlKind::Shape) && r.byteNum <= 7));
    for (const BWLTextRecord& r : screen.bwl)
        FUZZ_CHECK(!r.valid || (holds(r.cntrlIndex, ControlKind::TextBox) && r.byteNum <= 7));
    for (const BFTextRecord& r : screen.bf)
        FUZZ_CHECK(!r.valid || (holds(r.cntrlIndex, ControlKind::TextBox) && r.numBits >= 1 && r.numBits <= 32));
    const QStringList dump = screen.dump();
    FUZZ_CHECK(dump.size() >= screen.controlCount());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::ensureApplication();
    fuzz::ErrorCollector errors;
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
    checkDefinition(target.builder.definition());
    for (const QString& finding : lintScreen(configFile, target.builder.definition()))
        FUZZ_CHECK(finding.startsWith(QStringLiteral("Lint: fuzz.cfg: ")));
    return 0;
}
