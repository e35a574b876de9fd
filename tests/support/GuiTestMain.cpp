#include <QApplication>
#include <QFont>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Widget tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef TELLVANE_LAPTOP_SCREEN
    // Journeys get a screen the size of a technician's laptop rather than the
    // platform's 800 x 600: the program's windows fit side by side, and every
    // close box can be reached with the pointer.
    QTemporaryFile screen;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screen.open()) {
        screen.write(R"({"screens": [{"name": "Laptop", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
                     R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screen.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screen.fileName().toLocal8Bit());
    }
#endif
    // The program's developer log (adapter switches, link states) is not the test's output.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("tellvane.*=false"));
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
