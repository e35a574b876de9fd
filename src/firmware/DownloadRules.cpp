#include "firmware/DownloadRules.h"

#include "core/Numbers.h"
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

namespace {

int checkS19Lines(TextLineReader& reader)
{
    int lines = 0;
    bool bad = false;
    try {
        while (!reader.atEnd()) {
            const QByteArray line = reader.readLine();
            if (reader.error() != QFileDevice::NoError)
                return kFileError;
            ++lines;
            const QByteArray start = line.left(2);
            static const char* starts[] = {"S0", "S1", "S2", "S3", "S7", "S8", "S9"};
            bool known = false;
            for (const char* s : starts)
                known |= start == s;
            if (!known)
                bad = true;
            const double expected = static_cast<double>(line.size()) / 2.0 - 2.0;
            if (hexToLong(QString::fromLatin1(line.mid(2, 2))) != expected)
                bad = true;
        }
    } catch (const std::exception&) {
        return kFileError;
    }
    if (lines == 0)
        return kEmptyFile;
    return bad ? kCorruptFile : lines;
}

}  // namespace

int checkS19File(const QString& fileName)
{
    if (!QFileInfo(fileName).isFile())
        return kFileNotFound;
    TextLineReader reader;
    if (!reader.open(fileName))
        return kFileNotFound;
    return checkS19Lines(reader);
}

int checkS19Device(QIODevice& device)
{
    TextLineReader reader;
    reader.open(device);
    return checkS19Lines(reader);
}

}  // namespace tellvane::firmware
