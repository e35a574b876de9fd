#pragma once

#include <QString>
#include <QStringList>

namespace tellvane {

// A configuration file loaded exactly as entering diagnostic mode loads it
// (groups.grp from the file's folder), into a screen definition: what a
// configuration author wants to know before a board is at hand. No widget is
// made.
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

// What the program's style draws around a screen and for one row of a tab
// container's tabs, in twips at 96 dots an inch: the lint counts with these.
struct ScreenChrome {
    static constexpr int kTabStripHeight = 390;
    static constexpr int kWindowBordersWidth = 120;
    static constexpr int kTitleBarAndBordersHeight = 420;
};

ConfigCheck checkConfiguration(const QString& configFile, int formIndex = 0);

struct ScreenDefinition;
// The lint's findings for a screen loaded from that file.
QStringList lintScreen(const QString& configFile, const ScreenDefinition& screen);

}  // namespace tellvane
