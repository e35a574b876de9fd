#pragma once

#include <QString>
#include <QStringList>

namespace tellvane {

// A configuration file loaded exactly as entering diagnostic mode loads it
// (groups.grp from the file's folder), on a window of its own that nobody
// sees: what a configuration author wants to know before a board is at hand.
struct ConfigCheck {
    bool found = false;
    QStringList messages;  // every error-list message of the load, unsplit
    QStringList dump;      // the screen built, one line per control and indicator
    QString messageText;   // MESSAGE
    int formWidth = 0;     // FORM, 0 when none
    int formHeight = 0;
    QStringList summary;   // counts of controls and indicators
    // What an author should look at though the load said nothing, one line
    // a finding: controls outside their container or FORM, controls under a
    // tab strip, a file name no board looks for, a FORM too small for its
    // contents with the window's title bar and borders.
    QStringList lint;
};

// Needs a QApplication (any platform, offscreen included).
ConfigCheck checkConfiguration(const QString& configFile, int formIndex = 0);

}  // namespace tellvane
