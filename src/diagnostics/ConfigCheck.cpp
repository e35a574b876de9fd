#include "diagnostics/ConfigCheck.h"

#include "core/ErrorReporting.h"
#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/DiagnosticScreen.h"
#include "diagnostics/DynControls.h"

#include <QFileInfo>
#include <QMap>
#include <QWidget>

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
