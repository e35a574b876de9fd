#include "app/AppIcon.h"
#include "app/MainWindow.h"
#include "app/SplashWindow.h"
#include "app/TellvaneApp.h"
#include "adapters/AdapterFactory.h"
#include "core/Clock.h"
#include "core/DataFolder.h"
#include "core/SettingsStore.h"
#include "core/Version.h"
#include "ui/WidgetDialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tellvane"));
    QApplication::setOrganizationName(QStringLiteral("VelmarcoDiagnostic"));
    QApplication::setApplicationVersion(QString::fromLatin1(tellvane::kVersionText));
    QApplication::setStyle(QStringLiteral("Fusion"));
    // A narrow sans serif keeps the captions inside the fixed places of the controls.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
    QApplication::setWindowIcon(tellvane::appIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tellvane diagnostic and service tool"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption adapterOption(
        QStringLiteral("adapter"),
        QStringLiteral("The CAN adapter: %1. Without it, the one last chosen in the Adapter menu "
                       "(at first: library).")
            .arg(tellvane::adapterNames().join(QStringLiteral(", "))),
        QStringLiteral("name"));
    parser.addOption(adapterOption);
    parser.process(application);

    tellvane::RealClock clock;
    const QString programFolder = QCoreApplication::applicationDirPath();
    const tellvane::AdapterEnvironment adapterEnvironment{clock, programFolder};
    tellvane::SettingsStore settings;
    tellvane::AdapterChoice choice = tellvane::TellvaneApp::startingAdapter(
        parser.isSet(adapterOption) ? std::optional<QString>(parser.value(adapterOption)) : std::nullopt, settings,
        adapterEnvironment);
    if (!choice.adapter) {
        QTextStream(stderr) << choice.error << Qt::endl;
        return 2;
    }

    tellvane::WidgetDialogs dialogs;
    tellvane::TellvaneApp app(
        tellvane::AppEnvironment{clock, dialogs, settings, tellvane::getDataFolder(), programFolder,
                                 [] { return QDateTime::currentDateTime(); }, true},
        std::move(choice.adapter));
    dialogs.setParentWidget(&app.mainWindow());
    app.reportWarnings(choice.warnings);
    QObject::connect(&app.mainWindow(), &tellvane::MainWindow::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);

    auto* splash = new tellvane::SplashWindow([&app] { app.mainWindow().open(); });
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();

    return QApplication::exec();
}
