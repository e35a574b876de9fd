#pragma once

#include "can/Adapter.h"
#include "can/VendorAbi.h"

#include <QLibrary>
#include <QString>

namespace tellvane {

// The adapter through the vendor library "QXUSB2CAN" beside the program, bound
// by name when first needed. While the library or one of its thirteen exports is
// missing every call answers "adapter missing" (-4), so the link shows
// "Interface Missing"; each new probe tries to bind again, so a library put in
// place later is picked up without a restart.
class LibraryAdapter final : public Adapter {
public:
    // folder: where the library lies (the program's own folder).
    explicit LibraryAdapter(const QString& folder, const QString& baseName = QStringLiteral("QXUSB2CAN"));
    ~LibraryAdapter() override;

    bool isBound() const { return m_bound; }
    // Why binding failed, for the developer log.
    QString bindError() const { return m_bindError; }
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

    QLibrary m_library;
    bool m_bound = false;
    QString m_bindError;

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
