#pragma once

// The test doubles shared by the unit tests, the benchmarks and the fuzz
// targets (the recording FakeAdapter in FakeAdapter.h). No test framework
// here: the fuzz targets and benchmarks link it too.

#include "can/Adapter.h"
#include "can/LinkInterfaces.h"
#include "core/Dialogs.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace tellvane::test {

// Collects every error-list message while it lives.
class ErrorCollector {
public:
    ErrorCollector();
    ~ErrorCollector();
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    // Empty when nothing was reported, else the first message.
    std::string firstError() const;

    QStringList messages;
};

// Dialogs that never block: boxes and beeps are recorded, the open dialog
// answers the next queued file name.
class FakeDialogs final : public Dialogs {
public:
    struct Box {
        QString title;
        QString text;
    };
    std::vector<Box> boxes;
    int beeps = 0;
    QStringList fileAnswers;  // consumed in order; empty text when none left
    QStringList openCalls;    // the folder each open dialog started in
    QString lastFilter;
    QStringList saveAnswers;  // the save dialog's, as fileAnswers
    QStringList saveCalls;    // the folder each save dialog started in
    std::vector<Box> questions;
    std::vector<bool> questionAnswers;  // consumed in order; No when none left

    void information(const QString& title, const QString& text) override { boxes.push_back({title, text}); }
    QString openFileName(const QString& caption, const QString& folder, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& folder, const QString& filter) override;
    bool question(const QString& title, const QString& text) override;
    void beep() override { ++beeps; }
};

// An adapter on a bus where nothing arrives: every call succeeds (1), no
// record is waiting, no register can be read. Doubles override what they add.
class QuietAdapter : public Adapter {
public:
    std::int16_t resetInterface() override { return 1; }
    std::int16_t clearCanMess() override { return 1; }
    std::int16_t setCanBaud(std::int32_t) override { return 1; }
    std::int16_t recCanMess(std::uint32_t, std::uint8_t) override { return 1; }
    std::int16_t setFilters(std::uint8_t, std::uint32_t) override { return 1; }
    std::int16_t enableTs() override { return 1; }
    std::int16_t disableTs() override { return 1; }
    std::int16_t getCanMess(Record&) override { return 0; }
    std::int16_t getNumCanMess() override { return 0; }
    std::int16_t sendCanMess(std::uint32_t, std::uint8_t, std::uint8_t, const std::uint8_t*) override { return 1; }
    std::int16_t readReg(std::uint8_t, std::uint8_t, std::uint8_t*) override { return 0; }
    std::int16_t writeReg(std::uint8_t, std::uint8_t, const std::uint8_t*) override { return 1; }
    std::int16_t getInfo(char*, std::int32_t) override { return 0; }
    QString name() const override { return QStringLiteral("quiet"); }
};

// Records what reaches the sink and the router.
class RecordingSink final : public CanMessageSink {
public:
    std::vector<CanMessage> messages;
    std::function<void(const CanMessage&)> onMessage;  // after recording
    void logCanMessage(const CanMessage& message) override
    {
        messages.push_back(message);
        if (onMessage)
            onMessage(message);
    }
};

class RecordingRouter final : public MessageRouter {
public:
    std::vector<CanMessage> messages;
    void processCanMessage(const CanMessage& message) override { messages.push_back(message); }
};

class RecordingStatusView final : public LinkStatusView {
public:
    std::vector<InterfaceState> states;
    std::vector<std::uint8_t> flags;
    std::vector<bool> overflow;
    std::vector<int> queued;
    int errorTimerEnables = 0;

    void showInterfaceState(InterfaceState state) override { states.push_back(state); }
    void showErrorFlags(std::uint8_t f) override { flags.push_back(f); }
    void showBufferOverflow(bool o) override { overflow.push_back(o); }
    void showMessagesInBuffer(int count) override { queued.push_back(count); }
    void enableErrorTimer() override { ++errorTimerEnables; }
};

class FakePoll final : public PollControl {
public:
    bool enabled = true;
    void setPollingEnabled(bool on) override { enabled = on; }
    bool pollingEnabled() const override { return enabled; }
};

// A message from its identifier, data bytes and time stamp.
CanMessage makeMessage(std::int32_t id, std::initializer_list<std::uint8_t> bytes, double time = 0);

}  // namespace tellvane::test
