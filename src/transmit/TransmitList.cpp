#include "transmit/TransmitList.h"

#include "core/OutputFile.h"
#include "logs/LogText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace tellvane::transmitlist {

namespace {

const QString kFormat = QStringLiteral("tellvane transmit list");

QString hexBytes(const TransmitRow& row)
{
    QString text;
    for (int i = 0; i < row.length; ++i)
        text += QStringLiteral("%1").arg(row.data[static_cast<std::size_t>(i)], 2, 16, QLatin1Char('0'));
    return text.toUpper();
}

// A whole number in [low, high] under the key, or the default when it is absent.
bool wholeNumber(const QJsonObject& object, const QString& key, double low, double high, std::int64_t fallback,
                 std::int64_t& value, QString& why)
{
    const QJsonValue v = object.value(key);
    if (v.isUndefined()) {
        value = fallback;
        return true;
    }
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !(d >= low && d <= high) || std::floor(d) != d) {
        why = QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(key).arg(low, 0, 'f', 0).arg(high, 0, 'f', 0);
        return false;
    }
    value = static_cast<std::int64_t>(d);
    return true;
}

bool readRow(const QJsonValue& value, TransmitRow& row, QString& why)
{
    if (!value.isObject()) {
        why = QStringLiteral("not an object");
        return false;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue extended = object.value(QStringLiteral("extended"));
    const QJsonValue data = object.value(QStringLiteral("data"));
    const QJsonValue enabled = object.value(QStringLiteral("enabled"));
    if (!name.isUndefined() && !name.isString()) {
        why = QStringLiteral("\"name\" is not a text");
        return false;
    }
    row.name = name.toString();
    const QByteArray idText = id.toString().toLatin1();
    const std::optional<std::uint32_t> idValue = logtext::hexNumber(std::string_view(idText.data(), static_cast<std::size_t>(idText.size())));
    if (!id.isString() || !idValue) {
        why = QStringLiteral("\"id\" is not 1 to 8 hex digits");
        return false;
    }
    row.id = *idValue;
    if (!extended.isUndefined() && !extended.isBool()) {
        why = QStringLiteral("\"extended\" is neither true nor false");
        return false;
    }
    row.extended = extended.toBool(true);
    const QByteArray bytes = data.toString().toLatin1();
    if (!data.isUndefined() && (!data.isString() || bytes.size() % 2 != 0 || bytes.size() > 16)) {
        why = QStringLiteral("\"data\" is not 0 to 8 bytes of two hex digits");
        return false;
    }
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        const int high = logtext::hexDigit(bytes[i]);
        const int low = logtext::hexDigit(bytes[i + 1]);
        if ((high | low) < 0) {
            why = QStringLiteral("\"data\" byte %1 is not two hex digits").arg(i / 2 + 1);
            return false;
        }
        row.data[static_cast<std::size_t>(i / 2)] = static_cast<std::uint8_t>(high << 4 | low);
    }
    row.length = static_cast<std::uint8_t>(bytes.size() / 2);
    std::int64_t period = 0;
    if (!wholeNumber(object, QStringLiteral("periodMs"), 0, TransmitRow::kMaxPeriodMs, 0, period, why)
        || !wholeNumber(object, QStringLiteral("count"), 0, static_cast<double>(TransmitRow::kMaxCount), 0, row.count, why))
        return false;
    row.periodMs = static_cast<int>(period);
    if (!enabled.isUndefined() && !enabled.isBool()) {
        why = QStringLiteral("\"enabled\" is neither true nor false");
        return false;
    }
    row.enabled = enabled.toBool(true);
    why = row.problem();
    return why.isEmpty();
}

}  // namespace

QByteArray toJson(const std::vector<TransmitRow>& rows)
{
    QJsonArray array;
    for (const TransmitRow& row : rows) {
        array.append(QJsonObject{
            {QStringLiteral("name"), row.name},
            {QStringLiteral("id"), QStringLiteral("%1").arg(row.id, row.extended ? 8 : 3, 16, QLatin1Char('0')).toUpper()},
            {QStringLiteral("extended"), row.extended},
            {QStringLiteral("data"), hexBytes(row)},
            {QStringLiteral("periodMs"), row.periodMs},
            {QStringLiteral("count"), static_cast<double>(row.count)},
            {QStringLiteral("enabled"), row.enabled},
        });
    }
    const QJsonObject list{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("rows"), array}};
    return QJsonDocument(list).toJson(QJsonDocument::Indented);
}

Loaded fromJson(const QByteArray& json)
{
    Loaded loaded;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        loaded.error = QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset);
        return loaded;
    }
    const QJsonObject list = document.object();
    if (!document.isObject() || list.value(QStringLiteral("format")).toString() != kFormat) {
        loaded.error = QStringLiteral("not a transmit list: \"format\" is not \"%1\"").arg(kFormat);
        return loaded;
    }
    const QJsonValue version = list.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() != std::floor(version.toDouble()) || version.toDouble() < 1) {
        loaded.error = QStringLiteral("\"version\" is not a whole number from 1");
        return loaded;
    }
    if (version.toDouble() > kVersion) {
        loaded.error = QStringLiteral("version %1 is newer than this program reads (%2)").arg(version.toDouble(), 0, 'f', 0).arg(kVersion);
        return loaded;
    }
    const QJsonValue rows = list.value(QStringLiteral("rows"));
    if (!rows.isArray()) {
        loaded.error = QStringLiteral("\"rows\" is not a list");
        return loaded;
    }
    const QJsonArray array = rows.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (i == kMaxRows) {
            loaded.warnings << QStringLiteral("rows %1 to %2 left out: a list holds at most %3").arg(i + 1).arg(array.size()).arg(kMaxRows);
            break;
        }
        TransmitRow row;
        QString why;
        if (readRow(array.at(i), row, why))
            loaded.rows.push_back(std::move(row));
        else
            loaded.warnings << QStringLiteral("row %1 left out: %2").arg(i + 1).arg(why);
    }
    return loaded;
}

Loaded load(const QString& fileName)
{
    Loaded loaded;
    const QFileInfo info(fileName);
    QFile file(fileName);
    if (info.exists() && !info.isFile())
        loaded.error = QStringLiteral("not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        loaded.error = file.errorString();
    else if (file.size() > kMaxFileBytes)
        loaded.error = QStringLiteral("larger than a transmit list can be (%1 bytes)").arg(kMaxFileBytes);
    if (!loaded.ok())
        return loaded;
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        loaded.error = file.errorString();
        return loaded;
    }
    if (bytes.size() > kMaxFileBytes) {
        loaded.error = QStringLiteral("larger than a transmit list can be (%1 bytes)").arg(kMaxFileBytes);
        return loaded;
    }
    return fromJson(bytes);
}

bool save(const QString& fileName, const std::vector<TransmitRow>& rows, QString& error)
{
    OutputFile out;
    if (!out.openFile(fileName)) {
        error = out.failure();
        return false;
    }
    out.write(toJson(rows));
    if (!out.commit()) {
        error = out.failure();
        return false;
    }
    return true;
}

}  // namespace tellvane::transmitlist
