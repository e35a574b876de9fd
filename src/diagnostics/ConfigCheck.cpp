#include "diagnostics/ConfigCheck.h"

#include "core/ErrorReporting.h"
#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/DiagnosticScreen.h"
#include "diagnostics/DynControls.h"

#include "core/Twips.h"
#include "diagnostics/BoardWindow.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLayout>
#include <QMap>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QWidget>

#include <algorithm>

namespace tellvane {

namespace {
class CheckHost final : public QWidget, public ScreenHost {
public:
    QString message;
    int width = 0;
    int height = 0;
    QWidget* screenParent() override { return this; }
    void setMessageText(const QString& text) override { message = text; }
    void setScreenSizeTwips(int w, int h) override
    {
        width = w;
        height = h;
    }
    void setTestText(const QString&) override {}
};
// The title bar and borders a board window adds to its contents, as this
// style draws them (a window made to be measured).
QSize measureWindowChrome()
{
    QMdiArea area;
    area.resize(800, 600);
    auto* inside = new QWidget;
    QMdiSubWindow* sub = area.addSubWindow(inside, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                       | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                                                       | Qt::WindowCloseButtonHint);
    area.show();
    sub->show();
    sub->resize(400, 300);
    if (sub->layout())
        sub->layout()->activate();
    QCoreApplication::processEvents();
    const QSize chrome = sub->size() - inside->size();
    return chrome.isValid() ? chrome : QSize(8, 28);
}

QSize windowChrome()
{
    static const QSize chrome = measureWindowChrome();  // the style does not change while the program runs
    return chrome;
}

QString describe(DynControl* control)
{
    QString text = control->kind();
    if (control->supports(QStringLiteral("Caption"))) {
        const QString caption = control->property(QStringLiteral("Caption")).toString();
        if (!caption.isEmpty())
            text += QStringLiteral(" \"") + caption + QLatin1Char('"');
    }
    return text + QStringLiteral(" (") + control->widget()->objectName() + QLatin1Char(')');
}

// Where a control lies, in its own twips when the file gave them.
QString twipsText(DynControl* control)
{
    const QWidget* w = control->widget();
    const QRect r = w->geometry();
    auto twips = [&](const char* name, int pixels) {
        const QVariant v = control->supports(QString::fromLatin1(name)) ? control->property(QString::fromLatin1(name)) : QVariant();
        bool ok = false;
        const double value = v.toDouble(&ok);
        return ok ? QString::number(value) : QString::number(pixels);
    };
    return QStringLiteral("top %1, left %2, width %3, height %4")
        .arg(twips("Top", toTwipsY(w, r.top())), twips("Left", toTwipsX(w, r.left())), twips("Width", toTwipsX(w, r.width())),
             twips("Height", toTwipsY(w, r.height())));
}

// The findings of a screen built on the host.
QStringList lintScreen(const QString& configFile, DiagnosticScreen& screen, QWidget& host, int formWidth, int formHeight)
{
    QStringList found;
    const QString file = QFileInfo(configFile).fileName();
    auto add = [&](const QString& text) { found.append(QStringLiteral("Lint: ") + file + QStringLiteral(": ") + text); };

    // The name a board's style and variant make: style as a number, variant in four digits.
    static const QRegularExpression named(QStringLiteral("^(-?[0-9]+)-(-?[0-9]+)\\.cfg$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = named.match(file);
    QString expected;
    if (m.hasMatch()) {
        try {
            expected = ConfigurationLoader::configFileName(m.captured(1), m.captured(2));
        } catch (const Failure&) {
            expected.clear();
        }
    }
    if (expected != file) {
        add(expected.isEmpty()
                ? QStringLiteral("no board looks for a file of this name: a board of style S and variant V looks for S-VVVV.cfg, the style as a number and the variant in four digits (412-0101.cfg)")
                : QStringLiteral("no board looks for a file of this name: the board of this style and variant looks for ") + expected);
    }

    // Where each control lies.
    QHash<const QWidget*, DynControl*> controlOf;
    for (int i = 0; i < screen.controlCount(); ++i) {
        if (DynControl* control = screen.control(i))
            controlOf.insert(control->widget(), control);
    }
    QRect used;
    for (int i = 0; i < screen.controlCount(); ++i) {
        DynControl* control = screen.control(i);
        QWidget* w = control ? control->widget() : nullptr;
        if (!w)
            continue;
        QWidget* parent = w->parentWidget();
        const QRect box = w->geometry();
        if (parent == &host) {
            used = used.united(box);
            continue;
        }
        // On a tab page, the page spans the whole container.
        QWidget* container = parent;
        auto* tabs = dynamic_cast<DynTabContainer*>(parent ? parent->parentWidget() : nullptr);
        if (tabs)
            container = tabs;
        DynControl* owner = controlOf.value(container);
        const QString where = owner ? describe(owner) : container->objectName();
        if (!QRect(QPoint(0, 0), container->size()).contains(box)) {
            add(describe(control) + QStringLiteral(" reaches beyond its container ") + where + QStringLiteral(" (") +
                twipsText(control) + QStringLiteral("; the container is ") + QString::number(toTwipsX(w, container->width())) +
                QStringLiteral(" x ") + QString::number(toTwipsY(w, container->height())) + QStringLiteral(" twips)"));
        }
        if (tabs && box.intersects(tabs->tabStrip())) {
            add(describe(control) + QStringLiteral(" lies under the tab strip of ") + where + QStringLiteral(" (its top ") +
                QString::number(toTwipsY(w, box.top())) + QStringLiteral(", the strip ends at ") +
                QString::number(toTwipsY(w, tabs->tabStrip().bottom() + 1)) + QStringLiteral(" twips)"));
        }
    }

    // The window: FORM, or the board window's own size without one.
    const bool hasForm = formWidth > 0;
    const int width = hasForm ? formWidth : BoardWindow::kWidthTwips;
    const int height = hasForm ? formHeight : BoardWindow::kHeightTwips;
    const QString formText = hasForm ? QStringLiteral("FORM %1 x %2").arg(width).arg(height)
                                     : QStringLiteral("without FORM, the window's %1 x %2").arg(width).arg(height);
    for (int i = 0; i < screen.controlCount(); ++i) {
        DynControl* control = screen.control(i);
        QWidget* w = control ? control->widget() : nullptr;
        if (!w || w->parentWidget() != &host)
            continue;
        const QRect box = w->geometry();
        if (toTwipsX(w, box.right() + 1) > width || toTwipsY(w, box.bottom() + 1) > height)
            add(describe(control) + QStringLiteral(" lies outside ") + formText + QStringLiteral(" twips (") + twipsText(control) + QLatin1Char(')'));
    }
    if (!used.isEmpty()) {
        const QSize chrome = windowChrome();
        const int margin = 60;  // twips of room beyond the last control, as the shipped screens keep
        const int needWidth = toTwipsX(&host, used.right() + 1 + chrome.width()) + margin;
        const int needHeight = toTwipsY(&host, used.bottom() + 1 + chrome.height()) + margin;
        if (needWidth > width || needHeight > height) {
            add(formText + QStringLiteral(" twips is too small for its contents: with the window's title bar and borders (") +
                QString::number(toTwipsX(&host, chrome.width())) + QStringLiteral(" x ") +
                QString::number(toTwipsY(&host, chrome.height())) + QStringLiteral(" twips) they need FORM, ") +
                QString::number(std::max(width, needWidth)) + QStringLiteral(", ") +
                QString::number(std::max(height, needHeight)));
        }
    }
    return found;
}

}  // namespace

ConfigCheck checkConfiguration(const QString& configFile, int formIndex)
{
    ConfigCheck result;
    result.found = QFileInfo(configFile).isFile();
    if (!result.found)
        return result;

    installErrorSink([&result](const QString& message) { result.messages.append(message); });
    CheckHost host;
    DiagnosticScreen screen(host, static_cast<std::int16_t>(formIndex));
    ConfigurationLoader loader(screen, formIndex);
    loader.run(configFile);
    installErrorSink({});

    result.dump = screen.dump();
    result.lint = lintScreen(configFile, screen, host, host.width, host.height);
    result.messageText = host.message;
    result.formWidth = host.width;
    result.formHeight = host.height;

    QMap<QString, int> kinds;
    for (int i = 0; i < screen.controlCount(); ++i) {
        if (DynControl* c = screen.control(i))
            ++kinds[c->kind()];
    }
    QStringList parts;
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        parts.append(QString::number(it.value()) + QLatin1Char(' ') + it.key());
    result.summary.append(QStringLiteral("Controls: %1%2")
                              .arg(screen.controlCount())
                              .arg(parts.isEmpty() ? QString() : QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')')));
    auto used = [](const auto& records) {
        int n = 0;
        for (const auto& r : records)
            n += r.valid;
        return n;
    };
    int signedFields = 0;
    for (const auto& r : screen.bfTexts())
        signedFields += r.valid && r.isSigned;
    result.summary.append(QStringLiteral("Indicators: %1 BIT, %2 BWLTEXT, %3 BFTEXT, %4 SBFTEXT")
                              .arg(screen.bitListInUse() ? used(screen.bitControls()) : 0)
                              .arg(screen.bwlListInUse() ? used(screen.bwlTexts()) : 0)
                              .arg(screen.bfListInUse() ? used(screen.bfTexts()) - signedFields : 0)
                              .arg(screen.bfListInUse() ? signedFields : 0));
    if (result.formWidth > 0)
        result.summary.append(QStringLiteral("Window: %1 x %2 twips").arg(result.formWidth).arg(result.formHeight));
    return result;
}

}  // namespace tellvane
