#pragma once

#include "can/BoardDirectory.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

namespace tellvane {

class CanLink;
class Clock;
class Dialogs;
class SettingsStore;
class TextTransport;

// The downloader window as the dialogue sees it.
class DownloaderView {
public:
    virtual ~DownloaderView() = default;
    // Shows the window as it opens: its size and its saved place.
    virtual void showWindow() = 0;
    // Brings the open window to the front where it is.
    virtual void raiseWindow() {}
    virtual void hideWindow() = 0;
    virtual void clearInfo() = 0;
    virtual void addInfoLine(const QString& line) = 0;
    virtual int selectedInfoLine() const = 0;  // -1: none
    virtual QString infoLine(int row) const = 0;
    virtual void clearInfoSelection() = 0;
    virtual QString fileName() const = 0;
    virtual void setFileName(const QString& path) = 0;
    virtual void setStatus(const QString& text) = 0;
    virtual void setProgress(int percent) = 0;  // -1: no progress shown
    virtual void setWarningVisible(bool visible) = 0;
    // While a stage runs the buttons that start one are off.
    virtual void setBusy(bool busy) = 0;
    // Lets pending window events run, so that the window is drawn.
    virtual void yield() = 0;
};

// FirmwareDL's logic: the board's information, the choice of area and file,
// and the download dialogue (download mode, password, area, S-record lines,
// flash). One instance for the program; the window is its view.
class FirmwareDownloader final : public QObject, public DownloaderControl {
    Q_OBJECT

public:
    static constexpr int kInfoDelayMs = 500;

    FirmwareDownloader(TextTransport& transport, BoardDirectory& boards, CanLink& link, Clock& clock, Dialogs& dialogs,
                       SettingsStore& settings, QString programFolder, QObject* parent = nullptr);
    ~FirmwareDownloader() override;

    // The view goes with its window: a window that is destroyed sets it to null.
    void setView(DownloaderView* view) { m_view = view; }
    DownloaderView* view() const { return m_view; }

    // The board window opened the downloader for the board in DownloadBoardAddress.
    // Opening it again while it is open only brings it to the front.
    void open();
    // The board being served announced itself again, or the program ends:
    // the window closes.
    void closeDownloader() override;
    // The window was closed (by the user or as above): the board is free, and
    // a stage still running never sends again, even when the window opens
    // anew before the stage has returned.
    void windowClosed();
    bool isOpen() const { return m_open; }
    bool isRunning() const { return m_running; }

    // RequestNodeInfo; runs once, 500 ms after opening. While another stage
    // runs it waits for that stage to end.
    void requestNodeInfo();
    bool infoRequestPending() const { return m_infoPending; }
    void infoListClicked(int row);
    void chooseFile();
    // Step 3, Command3: checks the file, then password, area and S-record lines.
    void startDownload();
    // Step 4, MigrateCommand: the board moves the loaded areas into flash.
    void flashToMemory();

    QString areaId() const { return m_areaId; }
    QString boardPassword() const { return m_password; }
    int downloadWarnings() const { return m_warnings; }
    // The last stage started (information, download or flash) ended as it should.
    bool lastStageSucceeded() const { return m_lastStageOk; }
    // The result code of the last stage started (1: the board did its part;
    // 0 for the information request, or a stage that failed unexpectedly).
    std::int16_t lastResult() const { return m_lastResult; }
    const QTimer& infoTimer() const { return m_infoTimer; }

private:
    // The steps of a download: "$1Z", the password and the area (the board
    // erases it); the S-record lines in packets; "M" to flash. Each returns
    // a result code, 1 for success.
    std::int16_t sendPassword();
    std::int16_t downloadS19();
    std::int16_t sendS19Line(const QByteArray& line, bool slow);
    std::int16_t sendMigrateCmd();
    // The result code's message in the status line.
    void displayErrorMessage(std::int16_t code);

    void status(const QString& text);
    void yield();
    // A stage started from a click runs alone.
    bool begin();
    void end();
    // The running stage belongs to the window that is open now.
    bool stageAlive() const { return m_open && m_view && m_stageSession == m_session; }
    // Whether the transport may put a packet on the bus: only for a live
    // stage, or between stages while the window is open.
    bool mayTalk() const { return m_running ? stageAlive() : m_open; }

    TextTransport& m_transport;
    BoardDirectory& m_boards;
    CanLink& m_link;
    Clock& m_clock;
    Dialogs& m_dialogs;
    SettingsStore& m_settings;
    QString m_programFolder;
    DownloaderView* m_view = nullptr;
    QTimer m_infoTimer;

    QString m_areaId;    // DownloadAreaID
    QString m_password;  // BoardPassword
    int m_warnings = 0;  // DownloadWarnings
    bool m_open = false;
    bool m_running = false;
    bool m_infoPending = false;
    bool m_lastStageOk = false;
    std::int16_t m_lastResult = 0;
    // Each opening of the window is a session; a stage belongs to the one it
    // started in.
    std::uint64_t m_session = 0;
    std::uint64_t m_stageSession = 0;
};

}  // namespace tellvane
