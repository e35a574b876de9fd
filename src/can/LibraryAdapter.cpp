#include "can/LibraryAdapter.h"

#include <QDir>
#include <QLoggingCategory>

#include <array>
#include <cstring>

namespace tellvane {

Q_LOGGING_CATEGORY(lcLibrary, "tellvane.can.library")

namespace {
constexpr std::uint8_t kDevice = 0;
constexpr std::uint8_t kChannel = 0;
}  // namespace

LibraryAdapter::LibraryAdapter(const QString& folder, const QString& baseName)
    : m_library(QDir(folder).filePath(baseName))
{
    bind();
}

LibraryAdapter::~LibraryAdapter()
{
    // Leave the library mapped: the vendor's code may still have threads of its own.
}

bool LibraryAdapter::bind()
{
    if (m_bound)
        return true;
    if (!m_library.isLoaded() && !m_library.load()) {
        m_bindError = m_library.errorString();
        qCInfo(lcLibrary) << "vendor library not loaded:" << m_bindError;
        return false;
    }
    bool all = true;
    auto resolve = [&](auto& slot, const char* symbol) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(m_library.resolve(symbol));
        if (!slot) {
            all = false;
            m_bindError = QStringLiteral("export %1 missing").arg(QLatin1String(symbol));
        }
    };
    resolve(m_resetInterface, "ResetInterface");
    resolve(m_clearCanMess, "ClearCANMess");
    resolve(m_setCanBaud, "SetCANBaud");
    resolve(m_recCanMess, "RecCANMess");
    resolve(m_setFilters, "SetFilters");
    resolve(m_enableTs, "EnableTS");
    resolve(m_disableTs, "DisableTS");
    resolve(m_getCanMess, "GetCANMess");
    resolve(m_getNumCanMess, "GetNumCANMess");
    resolve(m_sendCanMess, "SendCANMess");
    resolve(m_readReg, "ReadReg");
    resolve(m_writeReg, "WriteReg");
    resolve(m_getInfo, "GetInfo");
    m_bound = all;
    if (!all)
        qCInfo(lcLibrary) << "vendor library incomplete:" << m_bindError;
    return m_bound;
}

std::int16_t LibraryAdapter::resetInterface()
{
    return m_bound ? m_resetInterface(kDevice, kChannel) : kAdapterMissing;
}

std::int16_t LibraryAdapter::clearCanMess()
{
    return m_bound ? m_clearCanMess(kDevice, kChannel) : kAdapterMissing;
}

std::int16_t LibraryAdapter::setCanBaud(std::int32_t rateCode)
{
    return m_bound ? m_setCanBaud(kDevice, kChannel, rateCode) : kAdapterMissing;
}

std::int16_t LibraryAdapter::recCanMess(std::uint32_t mask, std::uint8_t selector)
{
    return m_bound ? m_recCanMess(kDevice, kChannel, static_cast<std::int32_t>(mask), selector) : kAdapterMissing;
}

std::int16_t LibraryAdapter::setFilters(std::uint8_t filter, std::uint32_t value)
{
    return m_bound ? m_setFilters(kDevice, kChannel, filter, static_cast<std::int32_t>(value)) : kAdapterMissing;
}

std::int16_t LibraryAdapter::enableTs()
{
    return m_bound ? m_enableTs(kDevice, kChannel) : kAdapterMissing;
}

std::int16_t LibraryAdapter::disableTs()
{
    return m_bound ? m_disableTs(kDevice, kChannel) : kAdapterMissing;
}

std::int16_t LibraryAdapter::getCanMess(Record& record)
{
    return m_bound ? m_getCanMess(kDevice, kChannel, record.data()) : kAdapterMissing;
}

std::int16_t LibraryAdapter::getNumCanMess()
{
    return m_bound ? m_getNumCanMess(kDevice, kChannel) : 0;
}

std::int16_t LibraryAdapter::sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                                         const std::uint8_t* data)
{
    // The probe of each link check comes here: try to bind again if we could not before.
    if (!m_bound && !bind())
        return kAdapterMissing;
    std::array<std::uint8_t, 9> copy{};  // the library takes a writable buffer
    if (data)
        std::memcpy(copy.data(), data, length < copy.size() ? length : copy.size());
    return m_sendCanMess(kDevice, kChannel, static_cast<std::int32_t>(id), mode, length, copy.data());
}

std::int16_t LibraryAdapter::readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer)
{
    return m_bound ? m_readReg(kDevice, kChannel, reg, count, buffer) : kAdapterMissing;
}

std::int16_t LibraryAdapter::writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer)
{
    if (!m_bound)
        return kAdapterMissing;
    std::array<std::uint8_t, 256> copy{};
    std::memcpy(copy.data(), buffer, count);
    return m_writeReg(kDevice, kChannel, reg, count, copy.data());
}

std::int16_t LibraryAdapter::getInfo(char* buffer, std::int32_t size)
{
    return m_bound ? m_getInfo(kDevice, kChannel, buffer, size) : kAdapterMissing;
}

}  // namespace tellvane
