#include "diagnostics/ConfigCheck.h"

#include "core/Failure.h"
#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/ControlBox.h"
#include "diagnostics/ScreenBuilder.h"

#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace tellvane {

namespace {

using Box = ControlBox;

QString describe(const ControlDefinition& control)
{
    QString text = kindName(control.kind());
    if (kindHas(control.kind(), Property::Caption)) {
        const QString caption = control.value(Property::Caption).toString();
        if (!caption.isEmpty())
            text += QStringLiteral(" \"") + caption + QLatin1Char('"');
    }
    return text + QStringLiteral(" (") + control.name() + QLatin1Char(')');
}

QString twipsText(const Box& b)
{
    return QStringLiteral("top %1, left %2, width %3, height %4").arg(b.top).arg(b.left).arg(b.width).arg(b.height);
}

QString fileNameFinding(const QString& file)
{
    // The name a board's style and variant make: style as a number, variant in four digits.
    static const QRegularExpression named(QStringLiteral("^(-?[0-9]+)-(-?[0-9]+)\\.cfg$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = named.match(file);
    QString expected;
    if (m.hasMatch()) {
        try {
            expected = ConfigurationLoader::configFileName(m.captured(1), m.captured(2));
        } catch (const Failure&) {
            expected.clear();
        }
    }
    if (expected == file)
        return QString();
    return expected.isEmpty()
        ? QStringLiteral("no board looks for a file of this name: a board of style S and variant V looks for "
                         "S-VVVV.cfg, the style as a number and the variant in four digits (412-0101.cfg)")
        : QStringLiteral("no board looks for a file of this name: the board of this style and variant looks for ")
            + expected;
}

}  // namespace

QStringList lintScreen(const QString& configFile, const ScreenDefinition& screen)
{
    QStringList found;
    const QString file = QFileInfo(configFile).fileName();
    auto add = [&](const QString& text) { found.append(QStringLiteral("Lint: ") + file + QStringLiteral(": ") + text); };
    if (const QString finding = fileNameFinding(file); !finding.isEmpty())
        add(finding);

    // The window: FORM, or the board window's own size without one.
    const bool hasForm = screen.formSize.has_value();
    const int width = hasForm ? screen.formSize->first : kBoardWindowWidthTwips;
    const int height = hasForm ? screen.formSize->second : kBoardWindowHeightTwips;
    const QString formText = hasForm ? QStringLiteral("FORM %1 x %2").arg(width).arg(height)
                                     : QStringLiteral("without FORM, the window's %1 x %2").arg(width).arg(height);
    bool anyOnWindow = false;
    int usedRight = 0;
    int usedBottom = 0;
    for (int i = 0; i < screen.controlCount(); ++i) {
        const ControlDefinition* control = screen.control(i);
        if (!control)
            continue;
        const Box box = boxOf(*control);
        const ControlDefinition* container = screen.control(control->container());
        if (!container) {
            if (box.width > 0 && box.height > 0) {
                usedRight = anyOnWindow ? std::max(usedRight, box.right()) : box.right();
                usedBottom = anyOnWindow ? std::max(usedBottom, box.bottom()) : box.bottom();
                anyOnWindow = true;
            }
            if (box.right() > width || box.bottom() > height)
                add(describe(*control) + QStringLiteral(" lies outside ") + formText + QStringLiteral(" twips (")
                    + twipsText(box) + QLatin1Char(')'));
            continue;
        }
        const Box room = boxOf(*container);
        if (box.left < 0 || box.top < 0 || box.right() > room.width || box.bottom() > room.height) {
            add(describe(*control) + QStringLiteral(" reaches beyond its container ") + describe(*container)
                + QStringLiteral(" (") + twipsText(box) + QStringLiteral("; the container is ")
                + QString::number(room.width) + QStringLiteral(" x ") + QString::number(room.height)
                + QStringLiteral(" twips)"));
        }
        // Tabs beyond TabsPerRow wrap onto further rows, each as high as one.
        int strip = ScreenChrome::kTabStripHeight;
        if (container->kind() == ControlKind::TabContainer && container->isSet(Property::TabsPerRow)) {
            const auto pages = static_cast<int>(container->pageCaptions().size());
            const int perRow = container->value(Property::TabsPerRow).toInt();
            if (perRow > 0 && pages > perRow)
                strip *= (pages + perRow - 1) / perRow;
        }
        const bool underStrip = box.top < strip && box.bottom() > 0 && box.left < room.width && box.right() > 0
            && box.width > 0 && box.height > 0;
        if (container->kind() == ControlKind::TabContainer && underStrip) {
            add(describe(*control) + QStringLiteral(" lies under the tab strip of ") + describe(*container)
                + QStringLiteral(" (its top ") + QString::number(box.top) + QStringLiteral(", the strip ends at ")
                + QString::number(strip) + QStringLiteral(" twips)"));
        }
    }
    if (anyOnWindow) {
        const int margin = 60;  // twips of room beyond the last control, as the shipped screens keep
        const int needWidth = usedRight + ScreenChrome::kWindowBordersWidth + margin;
        const int needHeight = usedBottom + ScreenChrome::kTitleBarAndBordersHeight + margin;
        if (needWidth > width || needHeight > height) {
            add(formText + QStringLiteral(" twips is too small for its contents: with the window's title bar and borders (")
                + QString::number(ScreenChrome::kWindowBordersWidth) + QStringLiteral(" x ")
                + QString::number(ScreenChrome::kTitleBarAndBordersHeight) + QStringLiteral(" twips) they need FORM, ")
                + QString::number(std::max(width, needWidth)) + QStringLiteral(", ")
                + QString::number(std::max(height, needHeight)));
        }
    }
    return found;
}

namespace {

QStringList summaryOf(const ScreenDefinition& screen)
{
    QStringList summary;
    QMap<QString, int> kinds;
    for (int i = 0; i < screen.controlCount(); ++i) {
        if (const ControlDefinition* c = screen.control(i))
            ++kinds[kindName(c->kind())];
    }
    QStringList parts;
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        parts.append(QString::number(it.value()) + QLatin1Char(' ') + it.key());
    summary.append(QStringLiteral("Controls: %1%2")
                       .arg(screen.controlCount())
                       .arg(parts.isEmpty() ? QString() : QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')')));
    auto used = [](bool inUse, const auto& records) {
        int n = 0;
        for (const auto& r : records)
            n += inUse && r.valid;
        return n;
    };
    int signedFields = 0;
    for (const auto& r : screen.bf)
        signedFields += screen.bfListInUse && r.valid && r.isSigned;
    summary.append(QStringLiteral("Indicators: %1 BIT, %2 BWLTEXT, %3 BFTEXT, %4 SBFTEXT")
                       .arg(used(screen.bitListInUse, screen.bits))
                       .arg(used(screen.bwlListInUse, screen.bwl))
                       .arg(used(screen.bfListInUse, screen.bf) - signedFields)
                       .arg(signedFields));
    if (screen.formSize)
        summary.append(QStringLiteral("Window: %1 x %2 twips").arg(screen.formSize->first).arg(screen.formSize->second));
    return summary;
}

}  // namespace

ConfigCheck checkConfiguration(const QString& configFile, int formIndex)
{
    ConfigCheck result;
    result.found = QFileInfo(configFile).isFile();
    if (!result.found)
        return result;
    const ScreenLoad load = loadScreenFile(configFile, formIndex, false);
    const ScreenDefinition& screen = load.definition;
    result.messages = screen.warnings;
    result.dump = screen.dump();
    result.lint = lintScreen(configFile, screen);
    result.messageText = screen.messageText.value_or(QString());
    if (screen.formSize) {
        result.formWidth = screen.formSize->first;
        result.formHeight = screen.formSize->second;
    }
    result.summary = summaryOf(screen);
    return result;
}

}  // namespace tellvane
