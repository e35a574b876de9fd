#include "firmware/DownloadRules.h"

#include "core/SRecord.h"
#include "core/TextLineReader.h"

#include <QFileInfo>

namespace tellvane::firmware {

QString resultMessage(std::int16_t code, const QString& reply)
{
    switch (code) {
    case kSuccess:
        return QStringLiteral("Success, please wait 10 seconds and then cycle power");
    case kEmptyFile:
        return QStringLiteral("Error, empty file found");
    case kFileNotFound:
        return QStringLiteral("Error, file not found");
    case kCorruptFile:
        return QStringLiteral("Error, corrupted S19 file format");
    case kFileError:
        return QStringLiteral("Error, some unknown file error occurred");
    case kNoResponse:
        return QStringLiteral("Error, no response from board");
    case kAckTimeout:
        return QStringLiteral("Error, ACK Timeout");
    case kUnexpectedMessage:
        return QStringLiteral("Unexpected message from board = ") + reply;
    case kWrongFile:
        return QStringLiteral("Error, I think you are trying to download the wrong file to the wrong area!");
    case kNoDataAfterZ:
        return QStringLiteral("Error, no response for further data request within $1Z command");
    case kNoAckForZ:
        return QStringLiteral("Error, no response to request when sending $1Z command");
    case kNoPasswordPrompt:
        return QStringLiteral("Error, expecting password request and instead got ->") + reply;
    case kPasswordRefused:
        return QStringLiteral("Error, expecting password accepted and instead got ->") + reply;
    case kNotErased:
        return QStringLiteral("Error, expecting Erasing to complete and instead got ->") + reply;
    case kNoDataAfterM:
        return QStringLiteral("Error, no response for further data request within M command");
    case kNoAckForM:
        return QStringLiteral("Error, no response to request M");
    case kNotMigrated:
        // The flash stage's own words, not the erase stage's.
        return QStringLiteral("Error, expecting Migrating and instead got ->") + reply;
    default:
        return QStringLiteral("Error, the following unknown error code (") + QString::number(code)
            + QStringLiteral(") was returned");
    }
}

QString areaOfLine(const QString& line)
{
    if (line.contains(QLatin1String("Boot:")))
        return QStringLiteral("0");
    if (line.contains(QLatin1String("Sys:")))
        return QStringLiteral("1");
    if (line.contains(QLatin1String("pCode:")))
        return QStringLiteral("2");
    if (line.contains(QLatin1String("Config:")))
        return QStringLiteral("3");
    return QString();
}

QString fileFilterForArea(const QString& areaId)
{
    const char* kind = nullptr;
    const char* extension = nullptr;
    if (areaId == QLatin1String("0")) {
        kind = "Boot Files";
        extension = "QXB";
    } else if (areaId == QLatin1String("1")) {
        kind = "System Files";
        extension = "QXS";
    } else if (areaId == QLatin1String("2")) {
        kind = "pCode Files";
        extension = "QXP";
    } else if (areaId == QLatin1String("3")) {
        kind = "Config Files";
        extension = "QXC";
    } else {
        return QString();
    }
    const QString ext = QString::fromLatin1(extension);
    return QStringLiteral("%1 (*.%2 *.%3);;S19 Files (*.S19 *.s19);;All Files (*)")
        .arg(QString::fromLatin1(kind), ext, ext.toLower());
}

QString passwordFromBoardLine(const QString& line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return QString();
    qsizetype space = line.indexOf(QLatin1Char(' '), colon + 2);
    if (space < 0)
        space = line.size();
    return line.mid(colon + 1, space - colon - 1).trimmed();
}

ReplyLines replyLines(const QString& reply)
{
    ReplyLines out;
    QString rest = reply;
    for (qsizetype cr = rest.indexOf(QLatin1Char('\r')); cr >= 0; cr = rest.indexOf(QLatin1Char('\r'))) {
        const QString line = rest.left(cr);
        if (!line.isEmpty())
            out.lines.append(line);
        rest.remove(0, cr + 1);
        if (rest.startsWith(QLatin1Char('\n')))
            rest.remove(0, 1);
    }
    out.rest = rest;
    return out;
}

bool isS19Record(const QByteArray& line)
{
    const SRecord record = parseSRecord(line);
    if (!record.valid)
        return false;
    switch (record.type) {
    case '0':
    case '1':
    case '2':
    case '3':
        return true;
    case '7':
    case '8':
    case '9':
        // An end record with more bytes has an address longer than its type's.
        return record.data.isEmpty();
    default:
        return false;  // counts (S5, S6) are not for the board
    }
}

QString fileCheckMessage(int code, int badLine)
{
    QString message = resultMessage(static_cast<std::int16_t>(code), {});
    if (code == kCorruptFile && badLine > 0)
        message += QStringLiteral(" (line %1)").arg(badLine);
    return message;
}

namespace {

int checkS19Lines(TextLineReader& reader, int* badLine)
{
    if (badLine)
        *badLine = 0;
    int lines = 0;
    try {
        while (!reader.atEnd()) {
            const QByteArray line = reader.readLine(kMaxS19LineChars);
            if (reader.error() != QFileDevice::NoError)
                return kFileError;
            ++lines;
            if (line.size() > kMaxS19LineChars || !isS19Record(line)) {
                if (badLine)
                    *badLine = lines;
                return kCorruptFile;
            }
        }
    } catch (const std::exception&) {
        return kFileError;
    }
    return lines == 0 ? kEmptyFile : lines;
}

}  // namespace

int checkS19File(const QString& fileName, int* badLine)
{
    if (badLine)
        *badLine = 0;
    if (!QFileInfo(fileName).isFile())
        return kFileNotFound;
    TextLineReader reader;
    if (!reader.open(fileName))
        return kFileNotFound;
    return checkS19Lines(reader, badLine);
}

int checkS19Device(QIODevice& device, int* badLine)
{
    TextLineReader reader;
    reader.open(device);
    return checkS19Lines(reader, badLine);
}

}  // namespace tellvane::firmware
