// A stand-in for the adapter's vendor library, so that the binding by name can
// be tested: it exports the thirteen calls (GetInfo left out when built as the
// incomplete variant) and a few test hooks, and behaves as a small loopback.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string lastCall;
std::deque<std::string> received;  // 21-byte records
std::int16_t sendResult = 1;
std::uint8_t errorRegister = 0;

std::int16_t note(const char* name, std::uint8_t device, std::uint8_t channel, const std::string& rest = {})
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s %u %u", name, device, channel);
    lastCall = buffer + rest;
    return 1;
}

std::string hex(std::int32_t v)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, " %08X", static_cast<std::uint32_t>(v));
    return buffer;
}
}  // namespace

STANDIN_EXPORT std::int16_t ResetInterface(std::uint8_t d, std::uint8_t c)
{
    return note("ResetInterface", d, c);
}

STANDIN_EXPORT std::int16_t ClearCANMess(std::uint8_t d, std::uint8_t c)
{
    received.clear();
    return note("ClearCANMess", d, c);
}

STANDIN_EXPORT std::int16_t SetCANBaud(std::uint8_t d, std::uint8_t c, std::int32_t rate)
{
    return note("SetCANBaud", d, c, " " + std::to_string(rate));
}

STANDIN_EXPORT std::int16_t RecCANMess(std::uint8_t d, std::uint8_t c, std::int32_t mask, std::uint8_t selector)
{
    return note("RecCANMess", d, c, hex(mask) + " " + std::to_string(selector));
}

STANDIN_EXPORT std::int16_t SetFilters(std::uint8_t d, std::uint8_t c, std::uint8_t filter, std::int32_t value)
{
    return note("SetFilters", d, c, " " + std::to_string(filter) + hex(value));
}

STANDIN_EXPORT std::int16_t EnableTS(std::uint8_t d, std::uint8_t c)
{
    return note("EnableTS", d, c);
}

STANDIN_EXPORT std::int16_t DisableTS(std::uint8_t d, std::uint8_t c)
{
    return note("DisableTS", d, c);
}

STANDIN_EXPORT std::int16_t GetCANMess(std::uint8_t d, std::uint8_t c, std::uint8_t* record)
{
    note("GetCANMess", d, c);
    if (received.empty())
        return 0;
    std::memcpy(record, received.front().data(), 21);
    received.pop_front();
    return 1;
}

STANDIN_EXPORT std::int16_t GetNumCANMess(std::uint8_t d, std::uint8_t c)
{
    note("GetNumCANMess", d, c);
    return static_cast<std::int16_t>(received.size());
}

// Sent frames come back as received records without a time stamp (a loopback).
STANDIN_EXPORT std::int16_t SendCANMess(std::uint8_t d, std::uint8_t c, std::int32_t id, std::uint8_t mode,
                                        std::uint8_t length, std::uint8_t* data)
{
    note("SendCANMess", d, c, hex(id) + " " + std::to_string(mode) + " " + std::to_string(length));
    if (sendResult == 1 && length <= 8) {
        std::string r(21, '\0');
        const auto bare = static_cast<std::uint32_t>(id) & 0x1FFFFFFFu;
        r[0] = static_cast<char>(length + 7);
        r[1] = static_cast<char>(length);
        r[3] = static_cast<char>(bare >> 24);
        r[4] = static_cast<char>(bare >> 16);
        r[5] = static_cast<char>(bare >> 8);
        r[6] = static_cast<char>(bare);
        std::memcpy(&r[7], data, length);
        received.push_back(r);
    }
    return sendResult;
}

STANDIN_EXPORT std::int16_t ReadReg(std::uint8_t d, std::uint8_t c, std::uint8_t reg, std::uint8_t count,
                                    std::uint8_t* buffer)
{
    note("ReadReg", d, c, " " + std::to_string(reg) + " " + std::to_string(count));
    *buffer = errorRegister;
    return 1;
}

STANDIN_EXPORT std::int16_t WriteReg(std::uint8_t d, std::uint8_t c, std::uint8_t reg, std::uint8_t count,
                                     std::uint8_t* buffer)
{
    note("WriteReg", d, c, " " + std::to_string(reg) + " " + std::to_string(count));
    errorRegister = buffer[0];
    return 1;
}

#ifndef STANDIN_WITHOUT_GETINFO
STANDIN_EXPORT std::int16_t GetInfo(std::uint8_t d, std::uint8_t c, char* buffer, std::int32_t size)
{
    note("GetInfo", d, c);
    std::snprintf(buffer, static_cast<std::size_t>(size), "stand-in adapter");
    return 1;
}
#endif

// Test hooks.
STANDIN_EXPORT void StandInLastCall(char* buffer, std::int32_t size)
{
    std::snprintf(buffer, static_cast<std::size_t>(size), "%s", lastCall.c_str());
}

STANDIN_EXPORT void StandInSetSendResult(std::int16_t result)
{
    sendResult = result;
}

STANDIN_EXPORT void StandInSetErrorRegister(std::uint8_t value)
{
    errorRegister = value;
}
