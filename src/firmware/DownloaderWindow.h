#pragma once

#include "firmware/FirmwareDownloader.h"
#include "ui/MdiChild.h"
#include "ui/TwipsWidget.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

#include <functional>

namespace tellvane {

class SettingsStore;

// FirmwareDL, "Firmware DownLoader": the board's memory areas, the file, and
// the steps of the download. Made once; closing it hides it.
class DownloaderWindow final : public MdiChild, public DownloaderView {
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 8800;
    static constexpr int kHeightTwips = 5250;

    DownloaderWindow(FirmwareDownloader& downloader, SettingsStore& settings, QWidget* parent = nullptr);
    ~DownloaderWindow() override;

    // Where the window opens when no place of its own was kept.
    void setDefaultPlacement(std::function<void(QWidget&)> place) { m_placeNew = std::move(place); }

    // DownloaderView.
    void showWindow() override;
    void raiseWindow() override;
    void hideWindow() override;
    void clearInfo() override;
    void addInfoLine(const QString& line) override;
    int selectedInfoLine() const override;
    QString infoLine(int row) const override;
    void clearInfoSelection() override;
    QString fileName() const override;
    void setFileName(const QString& path) override;
    void setStatus(const QString& text) override;
    void setProgress(int percent) override;
    void setWarningVisible(bool visible) override;
    void setBusy(bool busy) override;
    void yield() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The area follows the selected line, however it was selected: once the
    // key or click that changed it has been handled.
    void selectionChanged();

    FirmwareDownloader& m_downloader;
    SettingsStore& m_settings;
    QListWidget* m_info = nullptr;
    QLineEdit* m_file = nullptr;
    QPushButton* m_choose = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_flash = nullptr;
    QLineEdit* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_warning = nullptr;
    std::function<void(QWidget&)> m_placeNew;
    bool m_hiding = false;
    bool m_selectionPending = false;
};

}  // namespace tellvane
