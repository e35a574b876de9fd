#pragma once

#include "can/LinkInterfaces.h"

#include <QString>

#include <array>
#include <cstdint>

namespace tellvane {

// A board's window as board discovery sees it; the board window implements it.
class BoardWindowHandle {
public:
    virtual ~BoardWindowHandle() = default;
    // The window's part of making a board window: address and serial texts,
    // slot, caption, size, showing, and the marks of a conflict window.
    virtual void initialise(std::int16_t formIndex, std::int16_t boardType, std::uint8_t address,
                            std::int32_t serial) = 0;
    virtual QString addressText() const = 0;
    // Style (BTypeText) and variant (PCodeText) from the board's P-code, and the caption.
    virtual void showPCode(const QString& style, const QString& variant, const QString& caption) = 0;
    virtual void loadBoardPicture() = 0;
    virtual void moveToTwips(int top, int left) = 0;
    // A diagnostic frame of the board and its time on its time line.
    virtual void processDiagnosticMessages(std::uint8_t length, const std::array<std::uint8_t, kCanDataSize>& data,
                                           LineTime time) = 0;
};

}  // namespace tellvane
