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
#include <QFileInfo>
#include <QFont>
#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

struct Options {
    QCommandLineOption adapter;
    QCommandLineOption preview;
};

// The program's options; the same for the early answer and the run.
Options addOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("Tellvane diagnostic and service tool"));
    parser.addHelpOption();
    parser.addVersionOption();
    Options options{
        QCommandLineOption(
            QStringLiteral("adapter"),
            QStringLiteral("The CAN adapter: %1. Without it, the one last chosen in the Adapter menu "
                           "(at first: library).")
                .arg(tellvane::adapterNames().join(QStringLiteral(", "))),
            QStringLiteral("name")),
        QCommandLineOption(
            QStringLiteral("preview"),
            QStringLiteral("Preview a configuration file being written: one simulated board shows it in diagnostic "
                           "mode, every indicator moving, and the screen is built again each time the file is saved."),
            QStringLiteral("file.cfg"))};
    parser.addOption(options.adapter);
    parser.addOption(options.preview);
    return options;
}

// --help and --version are answered before any window system is needed, so
// that they work without a display: a QApplication would abort there. Only
// when one of them is typed is a plain QCoreApplication made, and it is gone
// before the QApplication. A command line with the window system's own words
// (-platform, ...) does not parse here and is read after the QApplication, as
// is --help-all, which lists those words.
void answerHelpOrVersion(int& argc, char** argv)
{
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        for (const char* word : {"-h", "--help", "-v", "--version"})
            asked = asked || std::strcmp(argv[i], word) == 0;
    }
    if (!asked)
        return;
    QCoreApplication early(argc, argv);
    QCommandLineParser parser;
    addOptions(parser);
    if (parser.parse(QCoreApplication::arguments()) && !parser.isSet(QStringLiteral("help-all")))
        parser.process(QCoreApplication::arguments());  // prints and exits for --help and --version
}

}  // namespace

int main(int argc, char* argv[])
{
    // Unless told the zone, the C library looks at /etc/localtime again for every
    // local time it makes, and a CAN plugin stamps each frame with one: at a full
    // bus that is thousands of file look-ups a second. Naming the default zone
    // once gives the same times.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QCoreApplication::setApplicationName(QStringLiteral("Tellvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("VelmarcoDiagnostic"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tellvane::kVersionText));
    answerHelpOrVersion(argc, argv);
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // A narrow sans serif keeps the captions inside the fixed places of the controls.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
    QApplication::setWindowIcon(tellvane::appIcon());

    QCommandLineParser parser;
    const auto [adapterOption, previewOption] = addOptions(parser);
    parser.process(application);

    QString previewFile;
    if (parser.isSet(previewOption)) {
        const QFileInfo file(parser.value(previewOption));
        if (parser.isSet(adapterOption) && tellvane::canonicalAdapterName(parser.value(adapterOption)) != "sim") {
            QTextStream(stderr) << "--preview runs on the simulated bench (--adapter sim)" << Qt::endl;
            return 2;
        }
        if (!file.isFile() || !file.isReadable()) {
            QTextStream(stderr) << "Cannot read the configuration file \"" << file.filePath() << "\"" << Qt::endl;
            return 2;
        }
        previewFile = file.absoluteFilePath();
    }

    tellvane::RealClock clock;
    const QString programFolder = QCoreApplication::applicationDirPath();
    const tellvane::AdapterEnvironment adapterEnvironment{clock, programFolder};
    tellvane::SettingsStore settings;
    tellvane::AdapterChoice choice =
        previewFile.isEmpty()
            ? tellvane::AdapterSwitcher::startingAdapter(
                  parser.isSet(adapterOption) ? std::optional<QString>(parser.value(adapterOption)) : std::nullopt,
                  settings, adapterEnvironment)
            : tellvane::createPreviewAdapter(previewFile, adapterEnvironment);
    if (!choice.adapter) {
        QTextStream(stderr) << choice.error << Qt::endl;
        return 2;
    }

    tellvane::WidgetDialogs dialogs;
    tellvane::AppEnvironment environment{.clock = clock,
                                         .dialogs = dialogs,
                                         .settings = settings,
                                         .dataFolder = tellvane::getDataFolder(),
                                         .programFolder = programFolder,
                                         .now = [] { return QDateTime::currentDateTime(); },
                                         .yieldDuringDrain = true,
                                         .previewFile = previewFile};
    tellvane::TellvaneApp app(std::move(environment), std::move(choice.adapter));
    dialogs.setParentWidget(&app.mainWindow());
    app.reportWarnings(choice.warnings);
    QObject::connect(&app.mainWindow(), &tellvane::MainWindow::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);

    auto* splash = new tellvane::SplashWindow([&app] { app.mainWindow().open(); });
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();

    return QApplication::exec();
}
