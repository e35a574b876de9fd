#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tellvane::firmware {

// A batch of boards for `tellvane-cli flash --plan`, read from a JSON file:
//
//   {
//     "adapter": "virtualcan:can0",             optional; --adapter wins
//     "boards": [                               one or more, done in this order
//       { "address": 33,                        0 to 253, or "0x21"
//         "areas": [ { "area": "pcode", "file": "app.QXP" } ] },
//       { "serial": 1042, "pcode": "13050012",  found on the bus wherever it is
//         "flash": false,                       load only (default true: flash)
//         "areas": [ { "area": 3, "file": "/lines/site.QXC" },
//                    { "area": "sys", "file": "sys/base.QXS" } ] }
//     ]
//   }
//
// A board is named either by its address or by its serial number (0 to
// 1073741823, or "0x..." text) and its P-code (eight digits as text: style,
// then variant). An area is 0 to 3 or boot, sys, pcode, config (any case); a
// file is an S-record file, relative to the plan file's folder unless
// absolute (a backslash separates folders as "/" does). Unknown keys, keys
// given twice in an object, wrong types, duplicate boards and duplicate areas
// of a board are errors, each named by its key path ("boards[2].areas[0].file").
struct PlanArea {
    QString areaId;  // "0" to "3"
    QString file;    // absolute (resolved against the plan's folder)
    QString path;    // "boards[0].areas[1]"
};

struct PlanBoard {
    std::optional<int> address;
    std::optional<std::uint32_t> serial;
    QString pCode;  // with serial: eight digits
    std::vector<PlanArea> areas;
    bool flash = true;
    QString path;  // "boards[0]"

    bool bySerial() const { return serial.has_value(); }
    // "address 33" or "serial 1042, P-code 13050012".
    QString label() const;
};

struct FlashPlan {
    QString adapter;  // empty when the plan names none
    std::vector<PlanBoard> boards;
};

struct PlanError {
    QString path;  // empty: the plan as a whole
    QString message;
    // "boards[2].areas[0].file: no such file", or the message alone.
    QString text() const;
};

struct PlanReading {
    FlashPlan plan;  // meaningful only when there are no errors
    std::vector<PlanError> errors;
    // Every entry of "boards" as far as it could be read, errors or not: what
    // a report of a refused plan lists.
    std::vector<PlanBoard> named;
    bool ok() const { return errors.empty(); }
};

// Plans far larger than this are not plans.
inline constexpr qsizetype kMaxPlanBytes = 1 << 20;

// The plan a text holds, or every error found in it. Touches no file: the
// files named are only resolved against planFolder.
PlanReading readFlashPlan(const QByteArray& text, const QString& planFolder);

// The S-record check of every file of the plan (missing, empty or corrupt
// files, a corrupt one with its first bad line), each error at its "...file"
// key path.
std::vector<PlanError> checkPlanFiles(const FlashPlan& plan);

// The plan file read and checked whole: its text, then its files.
PlanReading loadFlashPlan(const QString& fileName);

}  // namespace tellvane::firmware
