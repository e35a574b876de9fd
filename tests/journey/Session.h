#pragma once

#include "app/ErrorListWindow.h"
#include "diagnostics/BoardWindow.h"
#include "firmware/DownloaderWindow.h"
#include "monitor/MessageLine.h"
#include "sim/SimBoard.h"

#include "FirmwareFiles.h"
#include "JourneyHarness.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <algorithm>

namespace tellvane::test {

// A frame of the bench as the monitor logs it.
inline CanMessage messageOf(const SimFrame& frame, double time = 0)
{
    CanMessage m;
    m.id = static_cast<std::int32_t>(frame.id);
    m.time = time;
    m.length = frame.length;
    std::copy_n(frame.data.begin(), std::min<std::size_t>(frame.length, 8), m.data.begin());
    return m;
}

// The pump announcing itself at another address, as a board of the bench would.
inline SimFrame pumpAnnouncementAt(int address)
{
    return SimBoard(SimBoardSpec{.address = address, .boardType = 0x120, .serial = 3000 + static_cast<std::uint32_t>(address),
                                 .pCode = 12010003})
        .announcement();
}

// A technician's session on the bench: the program started, the boards found.
class Session : public ::testing::Test {
protected:
    static inline const QString kPump = QStringLiteral("Board 1201-0003 [33]");
    static inline const QString kValve = QStringLiteral("Board 1305-0012 [34]");
    static inline const QString kHeater = QStringLiteral("Board 0412-0101 [35]");
    static inline const QString kDownloaderTitle = QStringLiteral("Firmware DownLoader");

    // The bench of the session; the shipped one unless a test says otherwise.
    virtual QString benchText() const { return {}; }

    void SetUp() override
    {
        h = std::make_unique<JourneyHarness>(benchText());
        h->pass(1000);  // the boards announce themselves and answer the P-code request
    }
    void TearDown() override { h.reset(); }

    BoardWindow* pump() const { return h->boardWindow(kPump); }
    BoardWindow* valve() const { return h->boardWindow(kValve); }
    // A board window is shown for the board at this address.
    bool boardWindowAt(int address) const
    {
        const QList<BoardWindow*> windows = h->boardWindows();
        return std::any_of(windows.begin(), windows.end(), [address](BoardWindow* w) {
            return w->findChild<QLineEdit*>(QStringLiteral("AddrText"))->text() == QString::number(address);
        });
    }
    // "Start Diagnostic" on a board's window brought to the front; the screen fills after 300 ms.
    bool enterDiagnostics(BoardWindow* w)
    {
        if (!h->bringToFront(JourneyHarness::subWindowOf(w)) || !h->clickButton(w, "StartDiag"))
            return false;
        h->pass(300);
        return w->inDiagnosticMode();
    }

    // "Enter Firmware Download Mode" on a board's window; the information comes after 500 ms.
    DownloaderWindow* enterDownload(BoardWindow* board)
    {
        if (!h->clickButton(board, "FWDownloadCommand"))
            return nullptr;
        DownloaderWindow* w = h->downloaderWindow();
        EXPECT_NE(w, nullptr) << "no downloader shown";
        h->pass(600);
        return h->downloaderWindow();
    }
    // The downloader lists five lines, the first naming the board's P-code.
    bool listsBoard(const char* pCode) const
    {
        const QStringList lines = h->infoLines();
        EXPECT_EQ(lines.size(), 5) << lines.join(QLatin1Char('|')).toStdString();
        return lines.size() == 5 && lines[0].endsWith(QStringLiteral("P-code ") + QLatin1String(pCode));
    }
    // A click on the line of the downloader's list that holds the keyword.
    bool clickInfo(const char* keyword)
    {
        const QStringList lines = h->infoLines();
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(QLatin1String(keyword)); });
        if (line == lines.end()) {
            ADD_FAILURE() << "no line with " << keyword << " in " << lines.join(QLatin1Char('|')).toStdString();
            return false;
        }
        return h->clickRow(h->infoList(), static_cast<int>(line - lines.begin()));
    }
    // Choose File answered with a firmware file.
    bool chooseFile(const QString& path)
    {
        h->dialogs.fileAnswers = {path};
        return h->clickButton(h->downloaderWindow(), "Command1");
    }
    // What the board took for an area: the image, as text.
    QByteArray loaded(int address, int area) const
    {
        SimBoard* board = h->simBoard(address);
        return board ? SimBootLoader::imageText(board->bootLoader().loaded(area)) : QByteArray("<no board>");
    }
    // The boards announce themselves: "Send Board Request" on the monitor.
    void requestAllBoards()
    {
        h->clickButton(h->main().monitorWindow(), "Command6");
        h->pass(300);
    }
    int textPacketsTo(int address, std::size_t from = 0) const
    {
        const ToolFrames* frames = h->toolFrames();
        int n = 0;
        for (std::size_t i = from; frames && i < frames->frames().size(); ++i) {
            const SimFrame& f = frames->frames()[i].frame;
            n += ((f.id >> 8) & 0xFFu) == static_cast<std::uint32_t>(address) && f.length >= 1 && f.data[0] == 0xFE;
        }
        return n;
    }
    // The entries of the error list, when it is shown, long ones joined again from their continued rows.
    QStringList errorLines() const
    {
        QStringList lines;
        ErrorListWindow* w = h->shownWindow<ErrorListWindow>();
        const QAbstractItemModel* model = w ? w->list()->model() : nullptr;
        for (int r = 0; model && r < model->rowCount(); ++r) {
            const QString row = model->index(r, 0).data().toString();
            if (row.startsWith(QStringLiteral("-->")) && !lines.isEmpty())
                lines.last() += row.mid(3);
            else
                lines.append(row);
        }
        return lines;
    }
    std::size_t framesSoFar() const
    {
        const ToolFrames* frames = h->toolFrames();
        return frames ? frames->frames().size() : 0;
    }

    std::unique_ptr<JourneyHarness> h;
};

}  // namespace tellvane::test
