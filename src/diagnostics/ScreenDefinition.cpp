#include "diagnostics/ScreenDefinition.h"

#include "core/Failure.h"

namespace tellvane {

Q_LOGGING_CATEGORY(lcDiagnostics, "tellvane.diagnostics", QtWarningMsg)

namespace {

QString colourText(std::int32_t bgr)
{
    return QStringLiteral("&H") + QString::number(bgr, 16).toUpper().rightJustified(6, QLatin1Char('0'));
}

QString valueText(const QVariant& v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.typeId() == QMetaType::QString)
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    return v.toString();
}

QString sizeName(SizeCode size)
{
    static const char* names[] = {"B", "W", "L", "SB", "SW", "SL"};
    return QString::fromLatin1(names[static_cast<int>(size)]);
}

QString pageName(int index)
{
    return QStringLiteral("Tab %1").arg(index);
}

}  // namespace

ControlDefinition::ControlDefinition(ControlKind kind, QString name, int container, int page)
    : m_kind(kind), m_name(std::move(name)), m_container(container), m_page(page)
{
    if (kind == ControlKind::TabContainer)
        m_pages.append(pageName(0));
}

void ControlDefinition::set(Property property, const QVariant& value)
{
    if (!kindHas(m_kind, property))
        throw Failure(FailureCode::PropertyNotSupported);
    QVariant converted = convertPropertyValue(property, value);
    if (m_kind == ControlKind::TabContainer) {
        switch (property) {
        case Property::Caption:
            m_pages[m_current] = converted.toString();
            break;
        case Property::Tabs: {
            const int count = converted.toInt();
            while (m_pages.size() < count)
                m_pages.append(pageName(static_cast<int>(m_pages.size())));
            m_pages.resize(count);
            m_current = std::min(m_current, count - 1);
            break;
        }
        case Property::Tab:
            if (converted.toInt() < 0 || converted.toInt() >= m_pages.size())
                throw Failure(FailureCode::InvalidPropertyValue);
            m_current = converted.toInt();
            break;
        default:
            break;
        }
    }
    m_values[static_cast<std::size_t>(property)] = std::move(converted);
}

QVariant ControlDefinition::value(Property property) const
{
    if (m_kind == ControlKind::TabContainer) {
        if (property == Property::Caption)
            return m_pages.at(m_current);
        if (property == Property::Tabs)
            return static_cast<int>(m_pages.size());
        if (property == Property::Tab)
            return m_current;
    }
    const QVariant& v = m_values[static_cast<std::size_t>(property)];
    if (v.isValid())
        return v;
    switch (propertyInfo(property).conversion) {
    case Conversion::Text:
        return QString();
    case Conversion::Flag:
        return false;
    case Conversion::Colour: {
        // A shape and a value box are filled white, a value box writes black;
        // the other kinds take the toolkit's colours (-1).
        const bool own = m_kind == ControlKind::Shape || m_kind == ControlKind::TextBox;
        if (!own)
            return -1;
        return property == Property::ForeColor ? 0x000000 : 0xFFFFFF;
    }
    default:
        return 0;
    }
}

const ControlDefinition* ScreenDefinition::control(int index) const
{
    if (index < 0 || index >= controlCount())
        return nullptr;
    const auto& slot = controls[static_cast<std::size_t>(index)];
    return slot ? &*slot : nullptr;
}

QString ScreenDefinition::controlName(int formIndex, int index)
{
    auto pad = [](int n) {
        return n < 0 ? QString::number(n) : QString::number(n).rightJustified(3, QLatin1Char('0'));
    };
    return QStringLiteral("Control_") + pad(formIndex) + QLatin1Char('_') + pad(index);
}

QStringList ScreenDefinition::dump() const
{
    QStringList lines;
    for (int i = 0; i < controlCount(); ++i) {
        const ControlDefinition* c = control(i);
        if (!c) {
            lines.append(controlName(formIndex, i) + QStringLiteral(" (none)"));
            continue;
        }
        QString where = QStringLiteral("window");
        if (const ControlDefinition* container = control(c->container())) {
            where = container->name();
            if (container->kind() == ControlKind::TabContainer)
                where += QStringLiteral(" page ") + QString::number(c->page());
        }
        QString line = c->name() + QLatin1Char(' ') + kindName(c->kind()) + QStringLiteral(" in ") + where;
        line += QStringLiteral(" at ") + c->value(Property::Left).toString() + QLatin1Char(',')
            + c->value(Property::Top).toString() + QStringLiteral(" size ") + c->value(Property::Width).toString()
            + QLatin1Char('x') + c->value(Property::Height).toString();
        for (int p = 0; p < kPropertyCount; ++p) {
            const auto property = static_cast<Property>(p);
            if (!c->isSet(property) || property == Property::Top || property == Property::Left
                || property == Property::Width || property == Property::Height)
                continue;
            const QVariant v = c->value(property);
            const bool colour = propertyInfo(property).conversion == Conversion::Colour;
            line += QLatin1Char(' ') + propertyName(property) + QLatin1Char('=')
                + (colour ? colourText(v.toInt()) : valueText(v));
        }
        if (c->kind() == ControlKind::TabContainer)
            line += QStringLiteral(" Pages=\"") + c->pageCaptions().join(QLatin1Char('|')) + QLatin1Char('"');
        lines.append(line);
    }
    // A record: its command word, its control ("-" while unused), its own
    // fields, then for value boxes the scaling and the pattern.
    auto record = [&](const QString& word, const auto& r, const QString& fields, const QString& scaling) {
        lines.append(word + QLatin1Char(' ') + (r.valid ? controlName(formIndex, r.cntrlIndex) : QStringLiteral("-"))
                     + QStringLiteral(" MessageID=") + QString::number(r.messageId) + fields + scaling
                     + (r.valid ? QString() : QStringLiteral(" (unused)")));
    };
    auto scaling = [](const auto& r) {
        return QStringLiteral(" M=%1 B=%2 Display=%3 Pattern=\"%4\"")
            .arg(display::plainDecimal(r.m), display::plainDecimal(r.b), r.hexDisplay ? QStringLiteral("H") : QStringLiteral("D"),
                 r.formatPattern);
    };
    for (const BitControlRecord& r : bitListInUse ? bits : std::vector<BitControlRecord>()) {
        record(QStringLiteral("BIT"), r,
               QStringLiteral(" ByteNum=%1 BitMask=%2 OffColor=%3 OnColor=%4")
                   .arg(QString::number(r.byteNum), QString::number(r.bitMask), colourText(r.offColor), colourText(r.onColor)),
               QString());
    }
    for (const BWLTextRecord& r : bwlListInUse ? bwl : std::vector<BWLTextRecord>())
        record(QStringLiteral("BWLTEXT"), r, QStringLiteral(" Size=%1 ByteNum=%2").arg(sizeName(r.sizeCode)).arg(r.byteNum), scaling(r));
    for (const BFTextRecord& r : bfListInUse ? bf : std::vector<BFTextRecord>()) {
        record(r.isSigned ? QStringLiteral("SBFTEXT") : QStringLiteral("BFTEXT"), r,
               QStringLiteral(" StartByte=%1 StartBit=%2 NumBits=%3").arg(r.startByte).arg(r.startBit).arg(r.numBits), scaling(r));
    }
    return lines;
}

}  // namespace tellvane
