#include "diagnostics/ScreenBuilder.h"

#include "core/ErrorReporting.h"
#include "diagnostics/ItemReading.h"

#include <cfloat>
#include <cmath>

namespace tellvane {

namespace {

float toSingle(double value)
{
    if (std::fabs(value) > FLT_MAX)
        throw Failure(FailureCode::Overflow);
    return static_cast<float>(value);
}

// An item read as a byte and held within low..high: outside, the fallback
// and the message made.
template <typename Message>
std::uint8_t readByteWithin(const QString& item, int low, int high, int fallback, Message message)
{
    const std::uint8_t value = config::readByte(item);
    if (value >= low && value <= high)
        return value;
    printError(message());
    return static_cast<std::uint8_t>(fallback);
}

// The value of a line such as ".ALIGNMENT, R" as its property takes it.
QVariant lineValue(Property property, const QString& value)
{
    switch (propertyInfo(property).conversion) {
    case Conversion::Alignment: {
        const QString a = value.toUpper();
        if (a == QLatin1String("L") || a == QLatin1String("0"))
            return 0;
        if (a == QLatin1String("R") || a == QLatin1String("1"))
            return 1;
        if (a == QLatin1String("C") || a == QLatin1String("M") || a == QLatin1String("2"))
            return 2;
        printError(QStringLiteral("A warning occured within SetAdditionalProperty, could not find a match .Alignment value ")
                   + value);
        return 0;
    }
    case Conversion::Colour:
        return config::colourFromCode(value);
    case Conversion::Count:
        return config::readNumber(value);
    default:
        return value;  // text, and flags as written ("True", "false", "1")
    }
}

}  // namespace

ScreenBuilder::ScreenBuilder(int formIndex)
{
    m_screen.formIndex = formIndex;
}

ControlDefinition& ScreenBuilder::control(std::int16_t index)
{
    const ControlDefinition* c = m_screen.control(index);
    if (!c)
        throw Failure(FailureCode::SubscriptOutOfRange);
    return *m_screen.controls[static_cast<std::size_t>(index)];
}

void ScreenBuilder::setNumber(std::int16_t index, Property property, double value)
{
    Q_ASSERT(propertyInfo(property).conversion != Conversion::Text && propertyInfo(property).conversion != Conversion::Flag);
    control(index).set(property, value);
}

void ScreenBuilder::setText(std::int16_t index, Property property, const QString& text)
{
    Q_ASSERT(propertyInfo(property).conversion == Conversion::Text);
    control(index).set(property, text);
}

void ScreenBuilder::setFlag(std::int16_t index, Property property, bool flag)
{
    Q_ASSERT(propertyInfo(property).conversion == Conversion::Flag);
    control(index).set(property, flag);
}

void ScreenBuilder::place(std::int16_t index, const QStringList& param)
{
    setNumber(index, Property::Top, config::readNumber(param.value(2)));
    setNumber(index, Property::Left, config::readNumber(param.value(3)));
    setNumber(index, Property::Width, config::readNumber(param.value(4)));
    setNumber(index, Property::Height, config::readNumber(param.value(5)));
}

// ---- Window-level commands

void ScreenBuilder::setMessageText(const QString& text)
{
    m_screen.messageText = text;
}

void ScreenBuilder::setFormSize(int widthTwips, int heightTwips)
{
    m_screen.formSize = std::make_pair(widthTwips, heightTwips);
}

// ---- Controls

std::int16_t ScreenBuilder::returnNextControlIndex()
{
    try {
        if (!m_controlsStarted) {
            m_controlsStarted = true;
            m_screen.controls.clear();
            m_screen.controls.emplace_back();
            m_containerIndex = -1;
            m_tabControlIndex = -1;
            return 0;
        }
        const std::size_t n = m_screen.controls.size();
        if (n > 32767)
            throw Failure(FailureCode::Overflow);
        m_screen.controls.emplace_back();
        return static_cast<std::int16_t>(n);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ReturnNextControlIndex"));
        // No number: the builder's next step fails, and no control that exists is touched.
        return -1;
    }
}

void ScreenBuilder::createNewControl(std::int16_t cntrlIndex, ControlKind kind)
{
    try {
        if (cntrlIndex < 0 || cntrlIndex >= m_screen.controlCount())
            throw Failure(FailureCode::SubscriptOutOfRange);
        int page = -1;
        if (m_containerIndex != -1) {
            const ControlDefinition* container = m_screen.control(m_containerIndex);
            if (!container || (container->kind() != ControlKind::Frame && container->kind() != ControlKind::TabContainer))
                throw Failure(FailureCode::SubscriptOutOfRange);
            if (container->kind() == ControlKind::TabContainer)
                page = container->currentPage();
        }
        auto& slot = m_screen.controls[static_cast<std::size_t>(cntrlIndex)];
        if (slot)
            throw Failure(FailureCode::InvalidPropertyValue);  // the name is taken
        slot.emplace(kind, ScreenDefinition::controlName(m_screen.formIndex, cntrlIndex), m_containerIndex, page);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateNewControl"));
    }
}

std::int16_t ScreenBuilder::makeCaptioned(ControlKind kind, const QStringList& param)
{
    const std::int16_t n = returnNextControlIndex();
    createNewControl(n, kind);
    setText(n, Property::Caption, param.value(1));
    place(n, param);
    if (kind == ControlKind::TabContainer) {
        setNumber(n, Property::Tabs, 1);
        setNumber(n, Property::Tab, 0);
    }
    setFlag(n, Property::Visible, true);
    return n;
}

void ScreenBuilder::createLabelControl(QStringList& param, const QString& nextLine)
{
    try {
        makeCaptioned(ControlKind::Label, param);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateLabelControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void ScreenBuilder::createFrameControl(QStringList& param, const QString& nextLine)
{
    try {
        // Without a tab container every frame lies on the window itself.
        if (m_tabControlIndex == -1 && m_containerIndex != -1)
            m_containerIndex = -1;
        m_containerIndex = makeCaptioned(ControlKind::Frame, param);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateFrameControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void ScreenBuilder::createTabControl(QStringList& param, const QString& nextLine)
{
    try {
        if (param.size() == 2) {
            if (m_tabControlIndex == -1) {
                printError(QStringLiteral("A warning occured within ProcessCommand, your TAB command with 2 parameters "
                                          "must be proceeded by a TAB with 6 parameters in config line ")
                           + param.value(0) + QLatin1Char(' ') + param.value(1));
                return;
            }
            const int count = control(m_tabControlIndex).value(Property::Tabs).toInt() + 1;
            setNumber(m_tabControlIndex, Property::Tabs, count);
            setNumber(m_tabControlIndex, Property::Tab, count - 1);
            setText(m_tabControlIndex, Property::Caption, param.value(1));
            m_containerIndex = m_tabControlIndex;
            return;
        }
        const std::int16_t n = makeCaptioned(ControlKind::TabContainer, param);
        m_containerIndex = n;
        m_tabControlIndex = n;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateTabControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void ScreenBuilder::setTabControlToFirst()
{
    if (m_tabControlIndex != -1)
        setNumber(m_tabControlIndex, Property::Tab, 0);
}

void ScreenBuilder::setAdditionalProperty(QStringList& param, const QString& nextLine)
{
    Q_UNUSED(nextLine)
    const QString value = param.value(1);
    try {
        const int target = m_screen.controlCount() - 1;
        if (target < 0)
            throw Failure(FailureCode::SubscriptOutOfRange);
        const std::optional<Property> property = propertyOfLineCommand(param.value(0));
        if (!property) {
            printError(QStringLiteral("A warning occured within SetAdditionalProperty, could not find a match  for ")
                       + param.value(0));
            return;
        }
        control(static_cast<std::int16_t>(target)).set(*property, lineValue(*property, value));
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SetAdditionalProperty"),
                      QStringLiteral(" with Param1=") + param.value(0) + QStringLiteral(", Param2=") + value);
    }
}

// ---- Indicators

void ScreenBuilder::createBitControl(QStringList& param, const QString& nextLine)
{
    if (!m_screen.bitListInUse) {
        m_screen.bits.clear();
        m_screen.bitListInUse = true;
    }
    m_screen.bits.emplace_back();
    const std::size_t r = m_screen.bits.size() - 1;
    try {
        m_screen.bits[r].messageId = config::readWholeStrict(param.value(6));
        m_screen.bits[r].byteNum = readByteWithin(param.value(7), 0, 7, 7, [&] {
            return QStringLiteral("Processing error: your Byte # value in the Bit command must be within the range of "
                                  "0-7 in line ")
                + nextLine;
        });
        const double mask = std::nearbyint(config::readNumber(param.value(8)));
        if (mask < 0 || mask > 255) {
            printError(QStringLiteral("Processing error: your Bit Mask value in the Bit command must be within the "
                                      "range of 0-255 in line ")
                       + nextLine);
            return;
        }
        m_screen.bits[r].bitMask = static_cast<std::uint8_t>(mask);
        // The lamp's colours are checked as .BACKCOLOR checks a colour.
        const std::int32_t offColor = config::colourFromCode(param.value(9));
        const std::int32_t onColor = config::colourFromCode(param.value(10));
        convertPropertyValue(Property::BackColor, offColor);
        convertPropertyValue(Property::BackColor, onColor);
        m_screen.bits[r].offColor = offColor;
        m_screen.bits[r].onColor = onColor;

        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, ControlKind::Shape);
        setNumber(n, Property::Top, config::readNumber(param.value(2)));
        setNumber(n, Property::Left, config::readNumber(param.value(3)));
        setNumber(n, Property::Width, 375);
        setNumber(n, Property::Height, 175);
        setNumber(n, Property::BackStyle, 1);
        setFlag(n, Property::Visible, true);
        m_screen.bits[r].cntrlIndex = n;
        m_screen.bits[r].valid = true;

        // The label beside the lamp, 400 twips to its right.
        param[3] = QString::number(config::readStrictNumber(param.value(3)) + 400);
        createLabelControl(param, nextLine);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateBitControl"), QStringLiteral(" in line ") + nextLine);
    }
}

namespace {
// M, B and the display letter of a value box from item `first` on, each kept
// in the record as it is read.
template <typename Record>
void readScaling(Record& record, const QStringList& param, int first, const QString& command, const QString& nextLine)
{
    record.m = toSingle(config::readNumber(param.value(first)));
    if (record.m == 0.0f) {
        printError(QStringLiteral("Processing warning: Are you sure you want to use the value of    zero for M in "
                                  "mX+B in line ")
                   + nextLine);
    }
    record.b = toSingle(config::readNumber(param.value(first + 1)));
    const QString shown = param.value(first + 2).toUpper();
    if (shown == QLatin1String("H")) {
        record.hexDisplay = true;
    } else if (shown != QLatin1String("D")) {
        printError(QStringLiteral("Processing error: Display must be either 'D' or 'H' in the ") + command
                   + QStringLiteral(" command in line ") + nextLine);
    }
}
}  // namespace

template <typename Record>
void ScreenBuilder::makeValueBox(Record& record, const QStringList& param, const QString& command,
                                 const QString& nextLine)
{
    const std::int16_t n = returnNextControlIndex();
    createNewControl(n, ControlKind::TextBox);
    place(n, param);
    setText(n, Property::Text, param.value(1));
    setFlag(n, Property::Visible, true);
    record.cntrlIndex = n;
    record.valid = true;

    // The pattern is tried on a number first; one that fails is voided.
    const auto text = display::formatPattern(123.456, record.formatPattern);
    if (text) {
        m_screen.testText = *text;
    } else {
        printError(QStringLiteral("Processing error: your Format entry in ") + command
                   + QStringLiteral(" does not pass and has been voided in line ") + nextLine);
        record.formatPattern.clear();
    }
    record.pattern = display::DisplayPattern::compile(record.formatPattern).value_or(display::DisplayPattern());
}

void ScreenBuilder::createBWLTextControl(QStringList& param, const QString& nextLine)
{
    if (!m_screen.bwlListInUse) {
        m_screen.bwl.clear();
        m_screen.bwlListInUse = true;
    }
    m_screen.bwl.emplace_back();
    BWLTextRecord& record = m_screen.bwl.back();
    try {
        record.messageId = config::readWholeStrict(param.value(6));
        const QString size = param.value(7);
        static const char* sizes[] = {"B", "W", "L", "SB", "SW", "SL"};
        int code = -1;
        for (int i = 0; i < 6; ++i) {
            if (size == QLatin1String(sizes[i]))
                code = i;
        }
        if (code < 0) {
            code = 0;
            printError(QStringLiteral("Processing error: Byte/Word/Long must be either 'B','W','L' or 'SB',SW','SL' in "
                                      "the BWLText command in line ")
                       + nextLine + QStringLiteral(" Setting to default of 'B'!"));
        }
        const auto sizeCode = static_cast<SizeCode>(code);
        record.sizeCode = sizeCode;
        // The last byte a value of this size may start at.
        const int last = (sizeCode == SizeCode::B || sizeCode == SizeCode::SB)   ? 7
                         : (sizeCode == SizeCode::W || sizeCode == SizeCode::SW) ? 6
                                                                                 : 4;
        const char* sizeWord = last == 7 ? "Byte" : last == 6 ? "Word" : "Long";
        record.byteNum = readByteWithin(param.value(8), 0, last, last, [&] {
            return QStringLiteral("Processing error: your Byte# value in the BWLText command must be within the range "
                                  "of 0-%1 (for %2) in line ")
                       .arg(last)
                       .arg(QLatin1String(sizeWord))
                + nextLine + QStringLiteral(" Setting to default of %1!").arg(last);
        });
        readScaling(record, param, 9, QStringLiteral("BWLText"), nextLine);
        if (code > 2 && record.hexDisplay) {
            printError(QStringLiteral("Processing warning: If displaying a signed value, you must choose decimal as "
                                      "the dispay format in line ")
                       + nextLine);
        }
        record.formatPattern = param.value(12);
        makeValueBox(record, param, QStringLiteral("BWLText"), nextLine);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateBWLTextControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void ScreenBuilder::createBFTextControl(QStringList& param, const QString& nextLine, bool isSigned)
{
    if (!m_screen.bfListInUse) {
        m_screen.bf.clear();
        m_screen.bfListInUse = true;
    }
    m_screen.bf.emplace_back();
    BFTextRecord& record = m_screen.bf.back();
    record.isSigned = isSigned;
    try {
        record.messageId = config::readWholeStrict(param.value(6));
        auto outOfRange = [&](const char* item, const char* range, int fallback) {
            return [=, &nextLine] {
                return QStringLiteral("Processing error: your %1 value in the BFText command must be within the range of "
                                  "%2 in line ")
                           .arg(QLatin1String(item), QLatin1String(range))
                    + nextLine + QStringLiteral(" Setting to default of %1!").arg(fallback);
            };
        };
        record.startByte = readByteWithin(param.value(7), 0, 7, 7, outOfRange("Start Byte#", "0-7", 7));
        record.startBit = readByteWithin(param.value(8), 0, 7, 0, outOfRange("Start Bit#", "0-7", 0));
        record.numBits = readByteWithin(param.value(9), 1, 32, 1, outOfRange("Number of Bits", "1-32", 1));
        readScaling(record, param, 10, QStringLiteral("BFText"), nextLine);
        if (isSigned && record.hexDisplay) {
            printError(QStringLiteral("Processing error: you cannot use a Hex display when using the Signed Bitfield "
                                      "Text command ")
                       + nextLine + QStringLiteral(" Setting to Dec display!"));
            record.hexDisplay = false;
        }
        record.formatPattern = param.value(13);
        makeValueBox(record, param, QStringLiteral("BFText"), nextLine);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateBFTextControl"), QStringLiteral(" in line ") + nextLine);
    }
}

// ---- Loading

namespace {
template <typename Load>
ScreenLoad loadScreen(int formIndex, bool passOn, Load load)
{
    ScreenLoad result;
    ScreenBuilder builder(formIndex);
    QStringList warnings;
    {
        ErrorCapture capture(warnings, passOn);
        ConfigurationLoader loader(builder, formIndex);
        result.loaded = load(loader);
        result.configFile = loader.configFile();
        result.groupFile = loader.groupFile();
    }
    result.definition = builder.takeDefinition();
    result.definition.warnings = std::move(warnings);
    const ScreenDefinition& screen = result.definition;
    if (result.configFile.isEmpty())
        qCDebug(lcDiagnostics) << "no configuration file for form" << formIndex;
    else
        qCDebug(lcDiagnostics) << "read" << result.configFile << "for form" << formIndex << "with" << screen.controlCount()
                               << "control slots," << screen.bits.size() + screen.bwl.size() + screen.bf.size()
                               << "indicators," << screen.warnings.size() << "messages";
    return result;
}
}  // namespace

ScreenLoad loadScreenFile(const QString& configFile, int formIndex, bool passOn)
{
    return loadScreen(formIndex, passOn, [&](ConfigurationLoader& loader) { return loader.run(configFile); });
}

ScreenLoad loadBoardScreen(const QString& styleText, const QString& variantText, const QString& folder, int formIndex,
                           bool passOn)
{
    return loadScreen(formIndex, passOn, [&](ConfigurationLoader& loader) {
        return loader.enterDiagnosticMode(styleText, variantText, folder);
    });
}

}  // namespace tellvane
