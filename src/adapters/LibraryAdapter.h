#pragma once

#include "adapters/VendorAbi.h"
#include "can/Adapter.h"

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace tellvane {

// The adapter through the vendor library "QXUSB2CAN", bound by name when first
// needed. While the library or one of its thirteen exports is missing every call
// answers "adapter missing" (-4), so the link shows "Interface Missing"; each new
// probe tries to bind again, so a library put in place later is picked up
// without a restart. Why it is missing goes to the error list once, and again
// only when the reason changes.
class LibraryAdapter final : public Adapter {
public:
    // Where the library is looked for, in order: the program's folder, then where
    // the system's libraries are found (the loader's own search by bare name:
    // LD_LIBRARY_PATH, /etc/ld.so.cache, /lib, /usr/lib), then /usr/local/lib,
    // which the loader knows only once ldconfig has run. An empty place stands
    // for the loader's search.
    static QStringList placesFor(const QString& programFolder);

    explicit LibraryAdapter(const QStringList& places, const QString& baseName = QStringLiteral("QXUSB2CAN"));
    ~LibraryAdapter() override;

    bool isBound() const { return m_bound; }
    // Why binding failed, as the error list gets it.
    QString bindError() const { return m_bindError; }
    // The name the library was loaded by: a path, or the bare name the loader found.
    QString libraryPath() const { return m_library.fileName(); }

    std::int16_t resetInterface() override;
    std::int16_t clearCanMess() override;
    std::int16_t setCanBaud(std::int32_t rateCode) override;
    std::int16_t recCanMess(std::uint32_t mask, std::uint8_t selector) override;
    std::int16_t setFilters(std::uint8_t filter, std::uint32_t value) override;
    std::int16_t enableTs() override;
    std::int16_t disableTs() override;
    std::int16_t getCanMess(Record& record) override;
    std::int16_t getNumCanMess() override;
    std::int16_t sendCanMess(std::uint32_t id, std::uint8_t mode, std::uint8_t length,
                             const std::uint8_t* data) override;
    std::int16_t readReg(std::uint8_t reg, std::uint8_t count, std::uint8_t* buffer) override;
    std::int16_t writeReg(std::uint8_t reg, std::uint8_t count, const std::uint8_t* buffer) override;
    std::int16_t getInfo(char* buffer, std::int32_t size) override;
    QString name() const override { return QStringLiteral("library"); }

private:
    bool bind();
    bool load();

    QStringList m_places;
    QString m_baseName;
    QLibrary m_library;
    bool m_bound = false;
    QString m_bindError;
    QString m_said;  // the last reason given to the error list

    VendorResetInterface m_resetInterface = nullptr;
    VendorClearCANMess m_clearCanMess = nullptr;
    VendorSetCANBaud m_setCanBaud = nullptr;
    VendorRecCANMess m_recCanMess = nullptr;
    VendorSetFilters m_setFilters = nullptr;
    VendorEnableTS m_enableTs = nullptr;
    VendorDisableTS m_disableTs = nullptr;
    VendorGetCANMess m_getCanMess = nullptr;
    VendorGetNumCANMess m_getNumCanMess = nullptr;
    VendorSendCANMess m_sendCanMess = nullptr;
    VendorReadReg m_readReg = nullptr;
    VendorWriteReg m_writeReg = nullptr;
    VendorGetInfo m_getInfo = nullptr;
};

}  // namespace tellvane
