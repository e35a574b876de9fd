#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace tellvane {

// The kinds of control a diagnostic screen is made of.
enum class ControlKind : std::uint8_t { Label, Frame, TabContainer, Shape, TextBox };

// The properties of the controls, in the order a dump lists them. The
// configuration language names them as propertyName() spells them; nothing
// else in the program uses the names.
enum class Property : std::uint8_t {
    Caption,
    Text,
    Top,
    Left,
    Width,
    Height,
    Visible,
    Tabs,
    Tab,
    TabsPerRow,
    Alignment,
    AutoSize,
    BackColor,
    BackStyle,
    ForeColor,
    ToolTipText,
};
inline constexpr int kPropertyCount = static_cast<int>(Property::ToolTipText) + 1;

// How a property's value is read and checked.
enum class Conversion : std::uint8_t {
    Text,       // any value as text
    Twips,      // a number rounded to 32 bits (Overflow beyond)
    Size,       // as Twips, and not negative
    Flag,       // true/false in any case, or a number (not 0 is true)
    Colour,     // 0 to 0xFFFFFF (0x00BBGGRR)
    Alignment,  // 0 left, 1 right, 2 centre
    Count,      // 1 to 255
    Index,      // a whole number; its range is the control's (a tab container's pages)
    BackStyle,  // 0 transparent, 1 opaque
};

struct PropertyInfo {
    Property property;
    const char* name;
    std::uint8_t kinds;  // a bit per ControlKind that has it
    Conversion conversion;
    bool lineCommand;  // set by a line of its own (".ALIGNMENT, R") after the control
};

const PropertyInfo& propertyInfo(Property property);
QString propertyName(Property property);
bool kindHas(ControlKind kind, Property property);
QString kindName(ControlKind kind);

// The property a line such as ".BACKCOLOR, LG" sets (any case), if the
// language has that line.
std::optional<Property> propertyOfLineCommand(const QString& word);

// The value as the property keeps it (QString, int or bool). Throws
// Failure(TypeMismatch) for a value that is no number where one is needed,
// Failure(Overflow) beyond 32 bits, Failure(InvalidPropertyValue) outside the
// property's range.
QVariant convertPropertyValue(Property property, const QVariant& value);

}  // namespace tellvane
