#include "firmware/FirmwareDownloader.h"

#include "can/CanLink.h"
#include "can/TextTransport.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "core/TextLineReader.h"
#include "firmware/DownloadRules.h"

#include <QFileInfo>
#include <QLoggingCategory>

namespace tellvane {

using namespace firmware;

// Each step of the dialogue with the board; quiet unless QT_LOGGING_RULES asks for it.
Q_LOGGING_CATEGORY(lcFirmware, "tellvane.firmware", QtWarningMsg)

namespace {
const QString kSelectArea = QStringLiteral("You must select a memory area first (Step 1)");
}

FirmwareDownloader::FirmwareDownloader(TextTransport& transport, BoardDirectory& boards, CanLink& link, Clock& clock,
                                       Dialogs& dialogs, SettingsStore& settings, QString programFolder, QObject* parent)
    : QObject(parent), m_transport(transport), m_boards(boards), m_link(link), m_clock(clock), m_dialogs(dialogs),
      m_settings(settings), m_programFolder(std::move(programFolder))
{
    m_infoTimer.setSingleShot(true);
    m_infoTimer.setInterval(kInfoDelayMs);
    connect(&m_infoTimer, &QTimer::timeout, this, &FirmwareDownloader::requestNodeInfo);
    m_transport.setSendPermit([this] { return mayTalk(); });
}

FirmwareDownloader::~FirmwareDownloader()
{
    m_transport.setSendPermit({});
}

void FirmwareDownloader::open()
{
    if (!m_view)
        return;
    if (m_open) {
        m_view->raiseWindow();
        return;
    }
    // Each opening starts with empty boxes and asks the board again.
    m_view->clearInfo();
    m_view->setFileName(QString());
    m_view->setStatus(QString());
    m_view->setProgress(-1);
    m_view->setWarningVisible(false);
    m_view->setBusy(m_running);  // a stage of the last opening may still be returning
    m_open = true;
    ++m_session;
    m_infoTimer.start(kInfoDelayMs);
    qCDebug(lcFirmware) << "downloader opened for board" << m_boards.downloadBoardAddress();
    m_view->showWindow();
}

void FirmwareDownloader::closeDownloader()
{
    if (m_open && m_view)
        m_view->hideWindow();
    windowClosed();
}

void FirmwareDownloader::windowClosed()
{
    m_infoTimer.stop();
    m_infoPending = false;
    m_open = false;
    m_boards.setDownloadBoardAddress(BoardDirectory::kNone);
}

bool FirmwareDownloader::begin()
{
    if (m_running || !m_open || !m_view)
        return false;
    m_running = true;
    m_stageSession = m_session;
    m_lastStageOk = false;
    m_lastResult = 0;
    if (m_view)
        m_view->setBusy(true);
    return true;
}

void FirmwareDownloader::end()
{
    m_running = false;
    if (m_view && m_open)
        m_view->setBusy(false);
    if (m_infoPending && m_open) {
        // The information request that came while this stage ran goes now.
        m_infoPending = false;
        m_infoTimer.start(0);
    }
}

void FirmwareDownloader::status(const QString& text)
{
    if (m_view && stageAlive())
        m_view->setStatus(text);
}

void FirmwareDownloader::yield()
{
    if (m_view && stageAlive())
        m_view->yield();
}

void FirmwareDownloader::requestNodeInfo()
{
    m_infoTimer.stop();
    if (m_running && m_open) {
        m_infoPending = true;
        return;
    }
    if (!begin())
        return;
    try {
        m_view->clearInfo();
        m_view->addInfoLine(QStringLiteral("Retrieving data..."));
        yield();
        m_transport.clearPipe();
        m_transport.setPipeDataReceived(false);
        qCDebug(lcFirmware) << "board" << m_boards.downloadBoardAddress() << "asked for its information ($1V)";
        const std::int16_t r = m_transport.sendAsciiCanPacket("$1V", 3, true);
        if (r != kSuccess) {
            if (stageAlive())
                m_view->addInfoLine(QStringLiteral("Error, no response to request"));
        } else if (m_transport.waitForIncomingData()) {
            m_transport.receivePipeReply();
        } else if (stageAlive()) {
            m_view->addInfoLine(QStringLiteral("Error, no response for further data request"));
        }
        yield();
        const QString reply = m_transport.pipeText();
        if (stageAlive() && !reply.isEmpty()) {
            if (reply.contains(QLatin1String("Enter area ID to program:"))) {
                for (const char* line : {"Warning: Your board is in the middle of a programming ",
                                         "cycle and will have to be reset to continue",
                                         "Note: Any downloads that were pending Flashing have",
                                         "been lost so you will have to start again after reset"})
                    m_view->addInfoLine(QString::fromLatin1(line));
            } else {
                m_view->clearInfo();
                const ReplyLines lines = replyLines(reply);
                for (const QString& line : lines.lines) {
                    m_view->addInfoLine(line);
                    if (line.contains(QLatin1String("Board:")))
                        m_password = passwordFromBoardLine(line);
                }
                // The listed lines leave the pipe; what follows the last CR stays in it.
                m_transport.setPipe(lines.rest.toLatin1());
                m_lastStageOk = !lines.lines.isEmpty();
            }
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("RequestNodeInfo"));
    }
    end();
}

void FirmwareDownloader::infoListClicked(int row)
{
    if (!m_view)
        return;
    try {
        m_view->setStatus(QString());
        const QString area = areaOfLine(m_view->infoLine(row));
        if (area.isEmpty()) {
            m_dialogs.beep();
            m_view->clearInfoSelection();
            return;
        }
        m_areaId = area;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("InfoList_Click"));
    }
}

void FirmwareDownloader::chooseFile()
{
    if (!m_view)
        return;
    try {
        const QString lastDir = m_settings.value(QStringLiteral("File Manager"), QStringLiteral("Last Dir"));
        if (m_areaId.isEmpty() || m_view->selectedInfoLine() < 0) {
            m_dialogs.information(QStringLiteral("Warning"), kSelectArea);
            return;
        }
        const QString folder = lastDir.isEmpty() ? m_programFolder : lastDir;
        const QString name = m_dialogs.openFileName(QStringLiteral("Choose the file to download"), folder,
                                                    fileFilterForArea(m_areaId));
        if (name.isEmpty())
            return;
        const QString chosenFolder = name.left(name.lastIndexOf(QLatin1Char('/')) + 1);
        if (!m_settings.setValue(QStringLiteral("File Manager"), QStringLiteral("Last Dir"), chosenFolder))
            throw Failure(FailureCode::DeviceIoError);
        m_view->setFileName(name);
    } catch (const Failure& failure) {
        printError(unexpectedErrorTextWithEnding(failure, QStringLiteral("' occured when clicking Choose File button")));
    }
}

void FirmwareDownloader::startDownload()
{
    if (!m_view)
        return;
    if (m_areaId.isEmpty() || m_view->selectedInfoLine() < 0) {
        m_dialogs.information(QStringLiteral("Warning"), kSelectArea);
        return;
    }
    if (!begin())
        return;
    try {
        m_view->setWarningVisible(false);
        m_view->setProgress(-1);
        m_warnings = 0;
        // The board erases the area as soon as it is named: a file that is
        // missing, empty or not S-records must be found out before that.
        qCDebug(lcFirmware) << "board" << m_boards.downloadBoardAddress() << "download of area" << m_areaId << "from"
                            << m_view->fileName();
        const int checked = checkS19File(m_view->fileName());
        std::int16_t r = checked < 0 ? static_cast<std::int16_t>(checked) : sendPassword();
        m_lastResult = r;
        if (r != kSuccess) {
            displayErrorMessage(r);
        } else {
            m_transport.clearPipe();
            r = downloadS19();
            m_lastResult = r;
            if (r != kSuccess) {
                displayErrorMessage(r);
            } else {
                const QString reply = m_transport.pipeText();
                if (reply.contains(QLatin1String("ID to program")) && reply.contains(QLatin1String("load complete"))) {
                    qCDebug(lcFirmware) << "area" << m_areaId << "loaded";
                    status(QStringLiteral("You may now choose to download another area (Step 1) or Flash to memory (Step 4)"));
                    m_lastStageOk = stageAlive();
                } else {
                    qCDebug(lcFirmware) << "area" << m_areaId << "sent, but the board did not say 'load complete'";
                    status(QStringLiteral("Expected a 'load complete' command but I didn't receive it!"));
                    m_link.checkForIncomingCanMessages();
                }
                if (m_warnings >= 1 && stageAlive())
                    m_view->setWarningVisible(true);
            }
        }
    } catch (const Failure& failure) {
        printError(unexpectedErrorTextWithEnding(failure, QStringLiteral("' occured when pressing Start Download button")));
    }
    end();
}

std::int16_t FirmwareDownloader::sendPassword()
{
    try {
        QString reply = m_transport.pipeText();
        const bool waitsForArea = (reply.contains(QLatin1String("load complete")) && reply.contains(QLatin1String("ID to program")))
            || reply.contains(QLatin1String("Enter area ID to program"));
        if (!waitsForArea) {
            qCDebug(lcFirmware) << "download mode ($1Z)";
            status(QStringLiteral("Sending $1Z command"));
            yield();
            m_transport.clearPipe();
            m_transport.setPipeDataReceived(false);
            if (m_transport.sendAsciiCanPacket("$1Z", 3, true) != kSuccess)
                return !stageAlive() ? kClosed : kNoAckForZ;
            if (!m_transport.waitForIncomingData())
                return !stageAlive() ? kClosed : kNoDataAfterZ;
            m_transport.receivePipeReply();
            qCDebug(lcFirmware) << "password";
            status(QStringLiteral("Sending password"));
            yield();
            reply = m_transport.pipeText();
            if (reply.isEmpty() || !reply.contains(QLatin1String("Enter board")) || !reply.contains(QLatin1String("password")))
                return !stageAlive() ? kClosed : kNoPasswordPrompt;
            m_transport.clearPipe();
            m_transport.setPipeDataReceived(false);
            m_transport.sendLargeAsciiPacket(m_password.toLatin1());
            m_transport.receivePipeReply();
            status(QStringLiteral("Erasing memory..."));
            yield();
            reply = m_transport.pipeText();
            if (!reply.contains(QLatin1String("accepted")) && !reply.contains(QLatin1String("Password")))
                return !stageAlive() ? kClosed : kPasswordRefused;
        }
        qCDebug(lcFirmware) << "area" << m_areaId << "(the board erases it)";
        status(QStringLiteral("Sending download section command"));
        yield();
        m_transport.clearPipe();
        m_transport.setPipeDataReceived(false);
        m_transport.sendLargeAsciiPacket(m_areaId.toLatin1());
        m_transport.receivePipeReply();
        if (!stageAlive())
            return kClosed;
        reply = m_transport.pipeText();
        const bool erased = reply.contains(QLatin1String("Erasing")) && reply.contains(QLatin1String("Complete"));
        return erased ? std::int16_t{kSuccess} : std::int16_t{kNotErased};
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendPassword"));
        return 0;
    }
}

std::int16_t FirmwareDownloader::downloadS19()
{
    status(QStringLiteral("Loading file..."));
    yield();
    const QString file = m_view ? m_view->fileName() : QString();
    const int n = checkS19File(file);
    if (n < 0)
        return static_cast<std::int16_t>(n);
    qCDebug(lcFirmware) << "S-record lines:" << n;
    bool slow = n < 100;
    m_transport.clearPipe();
    TextLineReader reader;
    if (!reader.open(file))
        return kFileNotFound;
    std::int16_t r = kSuccess;
    int sent = 0;
    while (!reader.atEnd()) {
        const QByteArray line = reader.readLine(kMaxS19LineChars);
        if (line.size() > kMaxS19LineChars)
            return kCorruptFile;  // the file grew a line no record can be since its check
        r = sendS19Line(line + '\n', slow);
        if (r != kSuccess)
            break;
        ++sent;
        const int percent = static_cast<int>(static_cast<qint64>(sent) * 100 / n);
        status(QStringLiteral("Downloading ") + QString::number(percent) + QLatin1Char('%'));
        if (m_view && stageAlive())
            m_view->setProgress(percent);
        if (percent > 98)
            slow = true;
        yield();
        if (!stageAlive())
            return kClosed;
    }
    if (reader.error() != QFileDevice::NoError)
        return kFileError;
    m_clock.delayMs(500);
    if (r == kSuccess || r == kUnexpectedMessage) {
        m_transport.receivePipeReply();
        const QString reply = m_transport.pipeText();
        qCDebug(lcFirmware) << "lines sent:" << sent << "warnings:" << m_warnings;
        if (reply.contains(QLatin1String("area load complete")))
            return kSuccess;
        if (reply.contains(QLatin1String("Error in hex (S19) file")))
            return kWrongFile;
    }
    return !stageAlive() ? kClosed : r;
}

std::int16_t FirmwareDownloader::sendS19Line(const QByteArray& line, bool slow)
{
    try {
        for (qsizetype i = 0; i < line.size(); i += TextTransport::kPacketCharacters) {
            const QByteArray packet = line.mid(i, TextTransport::kPacketCharacters);
            const std::int16_t code = m_transport.sendAsciiCanPacket(packet, static_cast<int>(packet.size()), slow);
            if (!m_transport.pipeBuffer().isEmpty())
                return kUnexpectedMessage;
            if (code == kAckTimeout) {
                ++m_warnings;  // acknowledged: counted as sent
                continue;
            }
            if (code != kSuccess)
                return code;
        }
        return kSuccess;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendS19Line"));
        return 0;
    }
}

void FirmwareDownloader::flashToMemory()
{
    if (!begin())
        return;
    try {
        const std::int16_t r = sendMigrateCmd();
        m_lastResult = r;
        if (r == kSuccess) {
            qCDebug(lcFirmware) << "board" << m_boards.downloadBoardAddress() << "flashed";
            status(resultMessage(kSuccess, QString()));
            m_lastStageOk = stageAlive();
        }
        else
            displayErrorMessage(r);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("MigrateCommand_Click"));
    }
    end();
}

std::int16_t FirmwareDownloader::sendMigrateCmd()
{
    try {
        qCDebug(lcFirmware) << "board" << m_boards.downloadBoardAddress() << "flash (M)";
        status(QStringLiteral("Sending 'M' command...please wait..."));
        yield();
        m_transport.clearPipe();
        if (m_transport.sendAsciiCanPacket("M", 1, true) != kSuccess)
            return !stageAlive() ? kClosed : kNoAckForM;
        m_clock.delayMs(500);
        if (!m_transport.waitForIncomingData())
            return !stageAlive() ? kClosed : kNoDataAfterM;
        m_transport.receivePipeReply();
        yield();
        const QString reply = m_transport.pipeText();
        const bool migrated = reply.contains(QLatin1String("cycle power")) && reply.contains(QLatin1String("Migrating"));
        return migrated ? std::int16_t{kSuccess} : std::int16_t{kNotMigrated};
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SendMigrateCmd"));
        return 0;
    }
}

void FirmwareDownloader::displayErrorMessage(std::int16_t code)
{
    try {
        qCDebug(lcFirmware) << "step failed with" << code;
        if (code == kClosed)
            return;  // the window is gone: nobody to tell
        status(resultMessage(code, m_transport.pipeText()));
    } catch (const Failure& failure) {
        printError(unexpectedErrorTextWithEnding(failure, QStringLiteral("' occured within DisplayErrorMessage (how ironic)")));
    }
}

}  // namespace tellvane
