#include "monitor/MonitorController.h"

#include "can/BoardDirectory.h"
#include "can/CanLink.h"
#include "core/Dialogs.h"
#include "core/LineListModel.h"
#include "monitor/LogPlayback.h"
#include "monitor/MessageLogger.h"

namespace tellvane {

MonitorController::MonitorController(CanLink& link, PollControl& poll, BoardDirectory& boards, MessageLogger& logger,
                                     LogPlayback& playback, LineListModel& list, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_link(link), m_poll(poll), m_boards(boards), m_logger(logger), m_playback(playback),
      m_list(list), m_dialogs(dialogs)
{
    connect(&m_playback, &LogPlayback::openFinished, this, [this](const QString& fileName, bool opened) {
        if (!opened)
            return;  // cancelled or reported; the file before stays loaded under its own name
        setReadFileText(fileName);
        m_playback.readLogFile(1);
    });
}

int MonitorController::heightTwips() const
{
    if (!m_live)
        return kTallTwips;
    return displayLive() ? kTallTwips : kShortTwips;
}

bool MonitorController::displayLive() const
{
    return m_logger.options().displayLive;
}

bool MonitorController::showAscii() const
{
    return m_logger.options().showAscii;
}

bool MonitorController::saveToFile() const
{
    return m_logger.options().saveToFile;
}

void MonitorController::setDisplayLive(bool on)
{
    m_logger.options().displayLive = on;
    emit heightChanged(heightTwips());
}

void MonitorController::setShowAscii(bool on)
{
    m_logger.options().showAscii = on;
}

void MonitorController::setSaveToFile(bool on)
{
    m_logger.options().saveToFile = on;
    if (on)
        m_logger.openSaveLogFile();
    else
        m_logger.closeSaveLogFile();
}

void MonitorController::switchMode()
{
    // A file still being opened would fill the list of the other mode.
    m_playback.cancelOpen();
    m_logger.closeSaveLogFile();
    if (m_live) {
        m_live = false;
        m_logger.setListAvailable(false);
        emit modeChanged(false);
        emit heightChanged(heightTwips());
        m_link.blockCanReception();
        m_poll.setPollingEnabled(false);
        m_list.clear();
        m_playback.setSelectedIndex(-1);
        setReadFileText(QString());
    } else {
        // Playback belongs to file mode; it stops with it.
        m_playback.stop();
        m_live = true;
        emit modeChanged(true);
        emit heightChanged(heightTwips());
        m_poll.setPollingEnabled(true);
        m_link.initCanInterface();
        m_list.clear();
        m_playback.setSelectedIndex(-1);
        m_logger.setListAvailable(true);
        // The box kept its tick while the log was closed: saving goes on.
        if (saveToFile())
            m_logger.openSaveLogFile();
    }
}

void MonitorController::sendBoardRequest()
{
    m_boards.sendAllBoardRequest();
}

void MonitorController::listClicked(int row)
{
    if (m_live) {
        m_list.clear();
        return;
    }
    m_playback.setSelectedIndex(row);
    m_playback.processLogMessage();
}

void MonitorController::listKeyMoved(int row)
{
    if (m_live)
        return;
    m_playback.setSelectedIndex(row);
    m_playback.processLogMessage();
}

void MonitorController::chooseLogFile()
{
    const QString name = m_dialogs.openFileName(QStringLiteral("Choose File to Open"), m_logFolder,
                                                QStringLiteral("Text Files (*.txt);;All Files (*)"));
    if (name.isEmpty()) {
        setReadFileText(QString());
        return;
    }
    m_playback.beginOpenReadLogFile(name);
}

void MonitorController::cancelOpen()
{
    m_playback.cancelOpen();
}

void MonitorController::setReadFileText(const QString& text)
{
    m_readFileText = text;
    emit readFileTextChanged(text);
}

void MonitorController::play()
{
    m_playback.play();
}

void MonitorController::runFullSpeed()
{
    m_playback.runFullSpeed();
}

void MonitorController::step()
{
    m_playback.logFileStep();
}

void MonitorController::stop()
{
    m_playback.stop();
}

}  // namespace tellvane
