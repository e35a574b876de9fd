#pragma once

#include "plot/PlotSeries.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

class QIODevice;

namespace tellvane {

// The CSV that plots export and recordings write: one row a value, with the
// columns time (seconds, six decimals), name, raw (the number in the frame)
// and value (see ValueScale: up to 15 significant digits, or the hexadecimal
// text of a box that shows its value so), separated by commas, rows ending in
// CR LF. A name with a comma, a quote or a line break in it is
// quoted, its quotes doubled.
//
//   time,name,raw,value
//   12.345672,Speed,1000,1500
//   12.345672,"Board 1201-0003 [33], Flow",-250,-2.5
//   12.345672,Cycle,250,FA
namespace csv {

inline constexpr char kHeader[] = "time,name,raw,value\r\n";

// A name as a field, UTF-8.
QByteArray field(const QString& name);
void appendTime(QByteArray& out, std::int64_t timeUs);
// Up to 15 significant digits, "." for the decimal point; what is no number is written empty.
void appendNumber(QByteArray& out, double value);
// hex: the value as a hexadecimal box writes it (upper case, no prefix).
void appendRow(QByteArray& out, std::int64_t timeUs, const QByteArray& nameField, double raw, double value,
               bool hex = false);

// A series and the name its rows carry.
struct Source {
    const PlotSeries* series = nullptr;
    QByteArray nameField;
};

// Writes the header and the exact points of the series with fromUs <= time <
// toUs, all in the order of time (rows of one time in the order of the
// series). The number of rows written, or -1 when the device took less than
// was written to it.
std::int64_t writeSeries(QIODevice& device, std::span<const Source> sources, std::int64_t fromUs, std::int64_t toUs);

}  // namespace csv

}  // namespace tellvane
