#include "adapters/LibraryAdapter.h"

#include "core/ErrorReporting.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <array>
#include <cstring>

namespace tellvane {

Q_LOGGING_CATEGORY(lcLibrary, "tellvane.can.library")

namespace {
constexpr std::uint8_t kDevice = 0;
constexpr std::uint8_t kChannel = 0;

// The file a place holds the library as on this system: libQXUSB2CAN.so.
QString fileNameOf(const QString& baseName)
{
    return QStringLiteral("lib%1.so").arg(baseName);
}

QString placeText(const QString& place)
{
    return place.isEmpty() ? QStringLiteral("where the system's libraries are found (LD_LIBRARY_PATH, "
                                            "/etc/ld.so.cache, /lib, /usr/lib)")
                           : QStringLiteral("in ") + place;
}
}  // namespace

QStringList LibraryAdapter::placesFor(const QString& programFolder)
{
    return {programFolder, QString(), QStringLiteral("/usr/local/lib")};
}

LibraryAdapter::LibraryAdapter(const QStringList& places, const QString& baseName)
    : m_places(places), m_baseName(baseName)
{
    bind();
}

LibraryAdapter::~LibraryAdapter()
{
    // Leave the library mapped: the vendor's code may still have threads of its own.
}

bool LibraryAdapter::load()
{
    if (m_library.isLoaded())
        return true;
    const QString file = fileNameOf(m_baseName);
    QStringList looked;
    QString loaderSays;
    for (const QString& place : m_places) {
        m_library.setFileName(place.isEmpty() ? file : QDir(place).filePath(m_baseName));
        if (m_library.load())
            return true;
        // There but not loadable (another architecture, a library of its own missing):
        // the search stops at the first one found, as the loader's does.
        if (!place.isEmpty() && QFileInfo::exists(QDir(place).filePath(file))) {
            m_bindError = QStringLiteral("The adapter's vendor library %1 could not be loaded: %2")
                              .arg(QDir(place).filePath(file), m_library.errorString());
            return false;
        }
        if (place.isEmpty())
            loaderSays = m_library.errorString();
        looked.append(placeText(place));
    }
    m_bindError = QStringLiteral("The adapter's vendor library %1 was not found. Looked %2.")
                      .arg(file, looked.join(QStringLiteral(", then ")));
    if (!loaderSays.isEmpty())
        m_bindError += QStringLiteral(" The loader says: ") + loaderSays;
    return false;
}

bool LibraryAdapter::bind()
{
    if (m_bound)
        return true;
    if (!load())
        return false;
    bool all = true;
    auto resolve = [&](auto& slot, const char* symbol) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(m_library.resolve(symbol));
        if (!slot) {
            all = false;
            m_bindError = QStringLiteral("The adapter's vendor library %1 lacks the export %2")
                              .arg(m_library.fileName(), QLatin1String(symbol));
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
    if (m_bound)
        qCInfo(lcLibrary) << "vendor library bound:" << m_library.fileName();
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
    // The probe of each link check comes here: try to bind again if we could not
    // before. The reason is said once, not at every probe.
    if (!m_bound && !bind()) {
        if (m_bindError != m_said) {
            m_said = m_bindError;
            printError(m_bindError);
        }
        return kAdapterMissing;
    }
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
