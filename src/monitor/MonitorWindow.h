#pragma once

#include "ui/MdiChild.h"
#include "ui/TwipsWidget.h"

#include <QPixmap>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QShortcut;
class QPushButton;
class QToolButton;

namespace tellvane {

class ClickableLabel;
class LineListModel;
class LogPlayback;
class MonitorController;
class MonitorStatus;
class SettingsStore;

// CANForm, "CAN Interface and Data": the bus monitor window. Created once by
// the main window and kept for the whole run.
class MonitorWindow : public MdiChild {
    Q_OBJECT

public:
    MonitorWindow(MonitorController& controller, MonitorStatus& status, LineListModel& list, LogPlayback& playback,
                  SettingsStore& settings, QWidget* parent = nullptr);

    // Form load, once the window sits in the main window: size and saved place.
    void load();
    // The save log's path, with its end in view.
    void setFileNameText(const QString& path);

    // Lets the window close (the main window is closing); until then a close is refused.
    void allowClose() { m_closeAllowed = true; }

    QListView* messageList() const { return m_list; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void buildModeAndOptions();
    void buildStatusPanel();
    void buildPlaybackPanel();
    void buildPlayButtons();
    void buildMessageList();
    void showMode(bool live);
    void refreshStatus();
    void followSelection(int row);
    void showOpening(qint64 done, qint64 size);

    MonitorController& m_controller;
    MonitorStatus& m_status;
    LineListModel& m_model;
    LogPlayback& m_playback;
    SettingsStore& m_settings;
    bool m_closeAllowed = false;

    QPixmap m_liveImage;   // Picture1
    QPixmap m_fileImage;   // Picture2
    ClickableLabel* m_modePicture = nullptr;
    QLabel* m_modeLabel = nullptr;
    QCheckBox* m_displayLive = nullptr;
    QCheckBox* m_ascii = nullptr;
    QCheckBox* m_saveToFile = nullptr;
    QLineEdit* m_fileName = nullptr;
    QPushButton* m_boardRequest = nullptr;
    QGroupBox* m_statusFrame = nullptr;
    std::array<QLabel*, 4> m_interfaceLabels{};
    QLabel* m_errorOk = nullptr;
    std::array<QLabel*, 8> m_errorLabels{};  // index 1 to 7 by bit; 0 unused
    ClickableLabel* m_bufferLabel = nullptr;
    QLineEdit* m_messagesInBuffer = nullptr;
    QGroupBox* m_fileFrame = nullptr;
    QLineEdit* m_readFile = nullptr;
    QLineEdit* m_lineSize = nullptr;
    // Seen only while a big file is being opened.
    QProgressBar* m_openProgress = nullptr;
    QPushButton* m_cancelOpen = nullptr;
    QShortcut* m_escape = nullptr;
    QLabel* m_listHeading = nullptr;
    QListView* m_list = nullptr;
};

}  // namespace tellvane
