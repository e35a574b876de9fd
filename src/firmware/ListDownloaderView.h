#pragma once

#include "firmware/FirmwareDownloader.h"

#include <QStringList>

namespace tellvane {

// The downloader's window without a window: the information list, the
// selected line and the file name kept in memory, everything else ignored.
// The command line, benchmarks and tests derive from it for what they show
// or record.
class ListDownloaderView : public DownloaderView {
public:
    QStringList info;
    int selected = -1;
    QString file;

    void showWindow() override {}
    void hideWindow() override {}
    void clearInfo() override
    {
        info.clear();
        selected = -1;
    }
    void addInfoLine(const QString& line) override { info.append(line); }
    int selectedInfoLine() const override { return selected; }
    QString infoLine(int row) const override { return info.value(row); }
    void clearInfoSelection() override { selected = -1; }
    QString fileName() const override { return file; }
    void setFileName(const QString& path) override { file = path; }
    void setStatus(const QString&) override {}
    void setProgress(int) override {}
    void setWarningVisible(bool) override {}
    void setBusy(bool) override {}
    void yield() override {}
};

}  // namespace tellvane
