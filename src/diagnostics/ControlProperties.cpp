#include "diagnostics/ControlProperties.h"

#include "core/Failure.h"
#include "core/Numbers.h"

#include <array>

namespace tellvane {

namespace {

constexpr std::uint8_t bit(ControlKind kind)
{
    return static_cast<std::uint8_t>(1U << static_cast<unsigned>(kind));
}

constexpr std::uint8_t kLabel = bit(ControlKind::Label);
constexpr std::uint8_t kFrame = bit(ControlKind::Frame);
constexpr std::uint8_t kTabs = bit(ControlKind::TabContainer);
constexpr std::uint8_t kShape = bit(ControlKind::Shape);
constexpr std::uint8_t kTextBox = bit(ControlKind::TextBox);
constexpr std::uint8_t kAll = kLabel | kFrame | kTabs | kShape | kTextBox;

// In the order of Property.
constexpr std::array<PropertyInfo, kPropertyCount> kProperties = {{
    {Property::Caption, "Caption", kLabel | kFrame | kTabs, Conversion::Text, false},
    {Property::Text, "Text", kTextBox, Conversion::Text, false},
    {Property::Top, "Top", kAll, Conversion::Twips, false},
    {Property::Left, "Left", kAll, Conversion::Twips, false},
    {Property::Width, "Width", kAll, Conversion::Size, false},
    {Property::Height, "Height", kAll, Conversion::Size, false},
    {Property::Visible, "Visible", kAll, Conversion::Flag, false},
    {Property::Tabs, "Tabs", kTabs, Conversion::Count, false},
    {Property::Tab, "Tab", kTabs, Conversion::Index, false},
    {Property::TabsPerRow, "TabsPerRow", kTabs, Conversion::Count, true},
    {Property::Alignment, "Alignment", kLabel | kTextBox, Conversion::Alignment, true},
    {Property::AutoSize, "AutoSize", kLabel, Conversion::Flag, true},
    {Property::BackColor, "BackColor", kAll, Conversion::Colour, true},
    {Property::BackStyle, "BackStyle", kShape, Conversion::BackStyle, false},
    {Property::ForeColor, "ForeColor", kLabel | kFrame | kTabs | kTextBox, Conversion::Colour, true},
    {Property::ToolTipText, "ToolTipText", kLabel | kFrame | kTabs | kTextBox, Conversion::Text, true},
}};

constexpr bool inPropertyOrder()
{
    for (int i = 0; i < kPropertyCount; ++i) {
        if (static_cast<int>(kProperties[static_cast<std::size_t>(i)].property) != i)
            return false;
    }
    return true;
}
static_assert(inPropertyOrder(), "the table lists the properties in the order of the enum");

double numberOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return leadingNumber(value.toString());
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        throw Failure(FailureCode::TypeMismatch);
    return d;
}

bool flagOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (!ok)
            throw Failure(FailureCode::TypeMismatch);
        return d != 0.0;
    }
    return numberOf(value) != 0.0;
}

int inRange(const QVariant& value, int low, int high)
{
    const int v = toInt32(numberOf(value));
    if (v < low || v > high)
        throw Failure(FailureCode::InvalidPropertyValue);
    return v;
}

}  // namespace

const PropertyInfo& propertyInfo(Property property)
{
    return kProperties[static_cast<std::size_t>(property)];
}

QString propertyName(Property property)
{
    return QString::fromLatin1(propertyInfo(property).name);
}

bool kindHas(ControlKind kind, Property property)
{
    return (propertyInfo(property).kinds & bit(kind)) != 0;
}

QString kindName(ControlKind kind)
{
    static const char* const names[] = {"Label", "Frame", "TabContainer", "Shape", "TextBox"};
    return QString::fromLatin1(names[static_cast<int>(kind)]);
}

std::optional<Property> propertyOfLineCommand(const QString& word)
{
    if (!word.startsWith(QLatin1Char('.')))
        return std::nullopt;
    const QStringView name = QStringView(word).mid(1);
    for (const PropertyInfo& info : kProperties) {
        if (info.lineCommand && name.compare(QLatin1String(info.name), Qt::CaseInsensitive) == 0)
            return info.property;
    }
    return std::nullopt;
}

QVariant convertPropertyValue(Property property, const QVariant& value)
{
    switch (propertyInfo(property).conversion) {
    case Conversion::Text:
        return value.toString();
    case Conversion::Twips:
    case Conversion::Index:
        return toInt32(numberOf(value));
    case Conversion::Size:
        return inRange(value, 0, INT32_MAX);
    case Conversion::Flag:
        return flagOf(value);
    case Conversion::Colour:
        return inRange(value, 0, 0xFFFFFF);
    case Conversion::Alignment:
        return inRange(value, 0, 2);
    case Conversion::Count:
        return inRange(value, 1, 255);
    case Conversion::BackStyle:
        return inRange(value, 0, 1);
    }
    return value;
}

}  // namespace tellvane
