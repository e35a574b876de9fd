#pragma once

namespace tellvane {

// The firmware downloader, as far as board discovery needs it.
class DownloaderControl {
public:
    virtual ~DownloaderControl() = default;
    virtual void closeDownloader() = 0;
};

}  // namespace tellvane
