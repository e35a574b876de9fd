#pragma once

#include <cstdint>

// The exports of the adapter's vendor library "QXUSB2CAN", bound by name at
// run time. Every call takes the device and the channel (both 0 here) first and
// answers a 16-bit result, 1 meaning success.
extern "C" {
using VendorResetInterface = std::int16_t (*)(std::uint8_t device, std::uint8_t channel);
using VendorClearCANMess = std::int16_t (*)(std::uint8_t device, std::uint8_t channel);
using VendorSetCANBaud = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::int32_t rate);
using VendorRecCANMess = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::int32_t mask,
                                          std::uint8_t selector);
using VendorSetFilters = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::uint8_t filter,
                                          std::int32_t value);
using VendorEnableTS = std::int16_t (*)(std::uint8_t device, std::uint8_t channel);
using VendorDisableTS = std::int16_t (*)(std::uint8_t device, std::uint8_t channel);
using VendorGetCANMess = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::uint8_t* record21);
using VendorGetNumCANMess = std::int16_t (*)(std::uint8_t device, std::uint8_t channel);
using VendorSendCANMess = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::int32_t id,
                                           std::uint8_t mode, std::uint8_t length, std::uint8_t* data);
using VendorReadReg = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::uint8_t reg,
                                       std::uint8_t count, std::uint8_t* buffer);
using VendorWriteReg = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, std::uint8_t reg,
                                        std::uint8_t count, std::uint8_t* buffer);
using VendorGetInfo = std::int16_t (*)(std::uint8_t device, std::uint8_t channel, char* buffer,
                                       std::int32_t size);
}
