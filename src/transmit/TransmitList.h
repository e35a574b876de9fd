#pragma once

#include "transmit/TransmitRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tellvane::transmitlist {

// A transmit list on disk: UTF-8 JSON, one object:
//   {
//     "format": "tellvane transmit list",
//     "version": 1,
//     "rows": [
//       {"name": "EEC1 stand-in", "id": "0CF00400", "extended": true,
//        "data": "F07D7D0000000000", "periodMs": 100, "count": 0, "enabled": true}
//     ]
//   }
// "id" and "data" are hex; the length is the data's ("" for none); "periodMs"
// 0 is a frame sent by hand only, "count" 0 repeats until stopped. Later
// versions may add keys: unknown keys are passed over, a higher version is
// refused.
inline constexpr int kVersion = 1;
inline constexpr int kMaxRows = 1000;
inline constexpr qint64 kMaxFileBytes = 1 << 20;

QByteArray toJson(const std::vector<TransmitRow>& rows);

struct Loaded {
    std::vector<TransmitRow> rows;  // the rows that could be read, in their order
    QStringList warnings;           // "row 3: ..." for each row left out
    QString error;                  // the whole file refused: nothing in rows
    bool ok() const { return error.isEmpty(); }
};
Loaded fromJson(const QByteArray& json);

// Reads a list file: at most kMaxFileBytes, regular files only.
Loaded load(const QString& fileName);
// Writes the list beside the file and then replaces it; false with why.
bool save(const QString& fileName, const std::vector<TransmitRow>& rows, QString& error);

}  // namespace tellvane::transmitlist
