#pragma once

#include "can/CanMessage.h"

#include <cstdint>

namespace tellvane {

// Interface state of the link, as the monitor shows it.
enum class InterfaceState : std::int16_t {
    NotChecked = 0,
    Ok = 1,
    AdapterMissing = 2,
    NoConnection = 3,
    SendFailed = 4,
};

// Where the link shows its state: the monitor's status panel.
class LinkStatusView {
public:
    virtual ~LinkStatusView() = default;
    // Exactly one interface tag is shown for states 1 to 4, none for 0.
    virtual void showInterfaceState(InterfaceState state) = 0;
    // The controller's error-flag register as read.
    virtual void showErrorFlags(std::uint8_t flags) = 0;
    // The last message fetched had the adapter's overflow status bit.
    virtual void showBufferOverflow(bool overflowed) = 0;
    // Messages still queued in the adapter.
    virtual void showMessagesInBuffer(int count) = 0;
    // A buffer flag was seen: clear the register two seconds from now.
    virtual void enableErrorTimer() = 0;
};

// Receives every message sent or received, to show and save it as a line.
class CanMessageSink {
public:
    virtual ~CanMessageSink() = default;
    virtual void logCanMessage(const CanMessage& message) = 0;
};

// Sees every message the link sends or receives, with its direction: the bus
// trace. While none is attached the link pays one check of a pointer.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void traceMessage(const CanMessage& message, bool sent) = 0;
    // The adapter's receive buffer overflowed: the first record that says so
    // after one that did not.
    virtual void traceOverflow() {}
    // The controller's error-flag register as the link check read it.
    virtual void traceErrorFlags(std::uint8_t /*flags*/) {}
};

// Receives every received (or played back) message, to route it to the boards.
class MessageRouter {
public:
    virtual ~MessageRouter() = default;
    virtual void processCanMessage(const CanMessage& message) = 0;
};

// The poll timer that drives the link (the main window's 25 ms timer).
class PollControl {
public:
    virtual ~PollControl() = default;
    virtual void setPollingEnabled(bool enabled) = 0;
    virtual bool pollingEnabled() const = 0;
};

}  // namespace tellvane
