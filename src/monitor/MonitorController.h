#pragma once

#include <QObject>
#include <QString>

namespace tellvane {

class BoardDirectory;
class CanLink;
class Dialogs;
class LineListModel;
class LogPlayback;
class MessageLogger;
class PollControl;

// What the bus monitor does, apart from how it looks: live and file mode, the
// check boxes, the list click, choosing a log file and the playback buttons.
class MonitorController : public QObject {
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 8800;
    static constexpr int kTallTwips = 8350;
    static constexpr int kShortTwips = 3900;

    MonitorController(CanLink& link, PollControl& poll, BoardDirectory& boards, MessageLogger& logger,
                      LogPlayback& playback, LineListModel& list, Dialogs& dialogs, QObject* parent = nullptr);

    // The folder the open dialog starts in (data folder + "Tellvane/").
    void setLogFolder(const QString& folder) { m_logFolder = folder; }
    QString logFolder() const { return m_logFolder; }

    // True while in live mode.
    bool inCanMode() const { return m_live; }
    int heightTwips() const;

    bool displayLive() const;
    bool showAscii() const;
    bool saveToFile() const;
    void setDisplayLive(bool on);
    void setShowAscii(bool on);
    void setSaveToFile(bool on);

    void switchMode();
    void sendBoardRequest();
    void listClicked(int row);
    // The current line moved by the keyboard: in file mode it plays as a click.
    void listKeyMoved(int row);
    // Opening a big file scans it over several turns of the event loop; the
    // file chosen replaces the one before only once it is scanned.
    void chooseLogFile();
    // Gives up opening the file chosen: the monitor stays as before it.
    void cancelOpen();
    QString readFileText() const { return m_readFileText; }

    void play();
    void runFullSpeed();
    void step();
    void stop();

signals:
    void modeChanged(bool live);
    void heightChanged(int twips);
    void readFileTextChanged(const QString& text);

private:
    void setReadFileText(const QString& text);

    CanLink& m_link;
    PollControl& m_poll;
    BoardDirectory& m_boards;
    MessageLogger& m_logger;
    LogPlayback& m_playback;
    LineListModel& m_list;
    Dialogs& m_dialogs;
    QString m_logFolder;
    QString m_readFileText;
    bool m_live = true;
};

}  // namespace tellvane
