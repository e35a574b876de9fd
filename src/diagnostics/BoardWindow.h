#pragma once

#include "can/BoardDirectory.h"
#include "diagnostics/DiagnosticScreen.h"
#include "diagnostics/ScreenBuilder.h"
#include "diagnostics/ScreenFileWatcher.h"
#include "ui/MdiChild.h"
#include "ui/TwipsWidget.h"

#include <QString>

#include <functional>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace tellvane {

class Dialogs;
class ScreenMenu;
class SettingsStore;
class BoardWindow;

// What a board window works with; all of it outlives the window.
struct BoardWindowServices {
    BoardDirectory& directory;
    Dialogs& dialogs;
    SettingsStore& settings;
    QString filesFolder;    // Configuration/ lies here (see programFilesFolder)
    // InCANMode of the bus monitor.
    std::function<bool()> inCanMode;
    // Shows the firmware downloader for the board in DownloadBoardAddress.
    std::function<void()> showDownloader;
    // Puts a new, sized window where the main window wants it.
    std::function<void(QWidget&)> placeNewWindow;
    // The configuration file every board shows in diagnostic mode in place of
    // its own (a preview of a file being written); none when empty. A board
    // window of a preview enters diagnostic mode once its P-code is known.
    QString previewFile = {};
    // Told each time a screen is built again from its changed files.
    std::function<void()> screenReloaded = {};
    // The menu of the diagnostic screen (plots, recording); none without.
    ScreenMenu* screenMenu = nullptr;
};

// FormTemplate: the window of one board on the bus, with its address, serial
// number, style, variant and picture, and the buttons for diagnostic mode and
// firmware download.
class BoardWindow : public MdiChild, public BoardWindowHandle, public ScreenHost {
    Q_OBJECT

public:
    static constexpr int kWidthTwips = kBoardWindowWidthTwips;
    static constexpr int kDiagnosticLabelTop = 3240;
    static constexpr int kHeightTwips = kDiagnosticLabelTop + 450;
    static_assert(kHeightTwips == kBoardWindowHeightTwips, "the configuration check counts with this size");
    static constexpr int kConflictWidthTwips = 4455;
    static constexpr int kConflictHeightTwips = 2370;

    // What the download button says in a window of a board in address conflict.
    static inline const QString kConflictDownloadText = QStringLiteral(
        "Boards at address 254 are in address conflict and several may answer there: firmware can only be "
        "downloaded to a board with an address of its own");

    explicit BoardWindow(BoardWindowServices services, QWidget* parent = nullptr);
    ~BoardWindow() override;

    std::int16_t formIndex() const { return m_formIndex; }
    bool inDiagnosticMode() const;

    // BoardWindowHandle.
    void initialise(std::int16_t formIndex, std::int16_t boardType, std::uint8_t address,
                    std::int32_t serial) override;
    QString addressText() const override;
    void showPCode(const QString& style, const QString& variant, const QString& caption) override;
    void loadBoardPicture() override;
    void moveToTwips(int top, int left) override;
    void processDiagnosticMessages(std::uint8_t length, const std::array<std::uint8_t, kCanDataSize>& data, LineTime time) override;

    // The click handlers.
    void startDiagClicked();
    void firmwareDownloadClicked();

    // ScreenHost. The screen's controls lie on a canvas that scrolls when
    // they reach beyond the window.
    QWidget* screenParent() override { return m_canvas; }
    void setMessageText(const QString& text) override;
    void setScreenSizeTwips(int width, int height) override;
    void setTestText(const QString& text) override;

    DiagnosticScreen& screen() { return m_screen; }
    // EnterDiagnosticMode from the board's configuration file.
    bool loadDiagnosticScreen();
    // Watches the files of the screen shown, to build it again when they change.
    const ScreenFileWatcher& screenFiles() const { return *m_screenFiles; }
    QString configurationFolder() const;

    QString styleText() const;
    QString variantText() const;
    // The settings section of the window's position: style "-" variant.
    QString positionSection() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The screen's menu, for a right-click or the menu key that no control took.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    // The window's outer size as asked for, but never larger than the frame it
    // lies in; what does not fit is reached with the scroll bars.
    void sizeWindowTwips(int width, int height);
    // The canvas as large as its contents, and at least as the window.
    void fitCanvas();
    // The address in AddrText for a request to the board; reported and empty when it is none.
    std::optional<std::uint8_t> requestAddress(const QString& operation) const;
    ScreenLoad loadScreen() const;
    // The screen's files changed on disk: the screen made anew from them in
    // the same place, unless the new file cannot be read to its end.
    void reloadScreen();
    void showScreenMenu(QPoint at, QPoint globalAt);

    BoardWindowServices m_services;
    std::int16_t m_formIndex = -1;
    bool m_closed = false;
    bool m_previewEntered = false;
    DiagnosticScreen m_screen{*this};
    ScreenFileWatcher* m_screenFiles = nullptr;

    QScrollArea* m_scroll = nullptr;
    QWidget* m_canvas = nullptr;
    QGroupBox* m_frame = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_serial = nullptr;
    QLineEdit* m_style = nullptr;
    QLineEdit* m_variant = nullptr;
    QPlainTextEdit* m_message = nullptr;
    QLabel* m_offline = nullptr;
    QPushButton* m_startDiag = nullptr;
    QPushButton* m_download = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_diagnosticLabel = nullptr;
    QLineEdit* m_testText = nullptr;
};

// Makes board windows in the main window.
class BoardWindows final : public BoardWindowFactory {
public:
    // addToMainWindow puts a new window into the main window.
    BoardWindows(BoardWindowServices services, std::function<void(QWidget*)> addToMainWindow);

    BoardWindowHandle* makeBoardWindow() override;

private:
    BoardWindowServices m_services;
    std::function<void(QWidget*)> m_add;
};

}  // namespace tellvane
