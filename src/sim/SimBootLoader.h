#pragma once

#include "sim/SimBus.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

namespace tellvane {

// Ways a simulated boot loader can misbehave, for tests and demonstrations.
struct BootLoaderFaults {
    bool noAck = false;          // text packets are never acknowledged
    bool silent = false;         // acknowledged, never answered
    bool wrongPassword = false;  // every password is refused
    int speakAfterLines = -1;    // says something in the middle of a file after this many lines
    int announceAfterLines = -1; // starts again (announces itself) after this many lines
    int unlistedArea = -1;       // this area ("0" to "3" as a number) is left out of the information
    int quietAfterLines = -1;    // goes dead after this many lines of an area: nothing
                                 // acknowledged or answered until the board starts again
    int rejectedLine = -1;       // this line of an area is refused as a bad record, as a board
                                 // refuses a record for an address outside the area
};

// The text dialogue of a board's boot loader, spoken in acknowledged packets of
// at most seven characters:
//   "$1V"              the board's information lines ("Board:" with its password,
//                      "Boot:", "Sys:", "pCode:", "Config:")
//   "$1Z"              "Enter board password: ", then the password
//   "0" to "3"         the area to program: erased, then S-record lines, each
//                      checked (hex digits, byte count, checksum)
//   "M"                the loaded areas move into flash: "Migrating", "cycle power"
// Commands end when the line goes quiet; record lines end with LF.
class SimBootLoader {
public:
    static constexpr std::int64_t kQuietUs = 20000;
    static constexpr std::int64_t kReplyDelayUs = 3000;
    // Longer than the tool's pause after the last record line, during which it does not listen.
    static constexpr std::int64_t kAckTimeoutUs = 2000000;

    using Image = std::map<std::uint32_t, std::uint8_t>;
    using Sender = std::function<void(const SimFrame&, std::int64_t)>;

    SimBootLoader(int address, QString password, QString pCodeText);

    void setSender(Sender sender) { m_send = std::move(sender); }
    BootLoaderFaults& faults() { return m_faults; }
    QString password() const { return m_password; }

    // A text packet from the tool (its characters); false when it is not
    // acknowledged (the noAck fault).
    bool textReceived(const QByteArray& text, std::int64_t atUs);
    // The tool acknowledged the last packet of a reply.
    void ackReceived(std::int64_t atUs);
    // The board started again (power, or its own announcement).
    void reset();

    std::int64_t nextWakeUs() const;
    void wake(std::int64_t nowUs);
    // Set when the board wants to announce itself now (the announceAfterLines fault).
    bool takeRestartRequest();

    // What the board loaded and what it moved into flash, per area "0" to "3".
    const Image& loaded(int area) const;
    const Image& flashed(int area) const;
    int migrations() const { return m_migrations; }
    // An image as text: a line per run of up to 16 bytes at consecutive
    // addresses, "0000C000: 01 02 ..." (LF endings; empty for an empty image).
    static QByteArray imageText(const Image& image);
    QString areaLabel(int area) const;

private:
    enum class State { Idle, AwaitPassword, AwaitArea, Receiving };

    void command(const QByteArray& text, std::int64_t atUs);
    void recordLine(const QByteArray& line, std::int64_t atUs);
    void reply(const QByteArray& text, std::int64_t atUs);
    void sendNextPacket(std::int64_t atUs);
    QByteArray information() const;

    int m_address;
    QString m_password;
    QString m_pCodeText;
    BootLoaderFaults m_faults;
    Sender m_send;

    State m_state = State::Idle;
    QByteArray m_input;
    std::int64_t m_quietAtUs = kNever;
    QByteArray m_output;
    bool m_awaitingAck = false;
    std::int64_t m_sendAtUs = kNever;
    std::int64_t m_ackDeadlineUs = kNever;

    int m_area = -1;
    int m_lines = 0;
    bool m_restart = false;
    bool m_dead = false;  // the quietAfterLines fault struck; until the board starts again
    std::map<int, Image> m_loaded;
    std::map<int, Image> m_flashed;
    std::map<int, bool> m_pending;
    std::map<int, QString> m_labels;
    int m_migrations = 0;
};

}  // namespace tellvane
