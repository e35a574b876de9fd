#pragma once

#include "Doubles.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace tellvane::bench {

// An adapter that hands out pre-encoded records from a ring as fast as the link
// asks, so that a benchmark measures the link and what follows, not a backend.
class RingAdapter final : public test::QuietAdapter {
public:
    explicit RingAdapter(std::vector<Record> ring);

    // Makes the next count calls of getCanMess succeed.
    void queue(int count) { m_pending = count; }
    std::uint64_t handedOut() const { return m_handedOut; }
    // The record handed out last (the ring's last one before the first call).
    const Record& lastRecord() const;

    std::int16_t getCanMess(Record& record) override;
    std::int16_t getNumCanMess() override;
    std::int16_t readReg(std::uint8_t, std::uint8_t count, std::uint8_t* buffer) override;
    QString name() const override { return QStringLiteral("ring"); }

private:
    std::vector<Record> m_ring;
    std::size_t m_next = 0;
    int m_pending = 0;
    std::uint64_t m_handedOut = 0;
};

// Records of a busy bus: 8 data bytes, time stamps 188 us apart, identifiers of
// several boards and broadcasts in turn, bytes both printable and not.
std::vector<Adapter::Record> busyBusRecords(std::size_t count);
// The identifiers those records take in turn.
const std::array<std::uint32_t, 8>& busyBusIdentifiers();

// A benchmark that reports an error measured a failing path and is marked
// as failed.
using test::ErrorCollector;

// A program run as a process, measured.
struct Took {
    double seconds = -1;  // on the clock; -1 when the program failed (another exit code than the one given)
    double cpuSeconds = 0;  // user and system: what a machine busy with others leaves alike
};
// Runs the program to its end, its standard output into a file when one is
// named (it is dropped otherwise).
Took timeOf(const QString& program, const QStringList& arguments, int exitCode = 0,
            const QString& standardOutput = QString());

// Size of a file in bytes; -1 when it does not exist.
std::int64_t fileBytes(const QString& fileName);
// The last line of a file without its CR LF; empty when there is none.
QString lastLineOf(const QString& fileName);

}  // namespace tellvane::bench
