#include "diagnostics/DiagnosticScreen.h"

#include "core/ErrorReporting.h"
#include "core/Numbers.h"
#include "diagnostics/DynControls.h"
#include "diagnostics/ItemReading.h"

#include <QHash>
#include <QWidget>

#include <cfloat>
#include <cmath>

namespace tellvane {

namespace {

const QString kShape = QStringLiteral("Shape");
const QString kTextBox = QStringLiteral("TextBox");

float toSingle(double value)
{
    if (std::fabs(value) > FLT_MAX)
        throw Failure(FailureCode::Overflow);
    return static_cast<float>(value);
}

QString sizeName(SizeCode size)
{
    static const char* names[] = {"B", "W", "L", "SB", "SW", "SL"};
    return QString::fromLatin1(names[static_cast<int>(size)]);
}

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

}  // namespace

DiagnosticScreen::DiagnosticScreen(ScreenHost& host, std::int16_t formIndex) : m_host(host), m_formIndex(formIndex) {}

DiagnosticScreen::~DiagnosticScreen()
{
    for (const auto& w : m_widgets)
        delete w.data();
}

QString DiagnosticScreen::controlName(int formIndex, int cntrlIndex)
{
    auto pad = [](int n) {
        return n < 0 ? QString::number(n) : QString::number(n).rightJustified(3, QLatin1Char('0'));
    };
    return QStringLiteral("Control_") + pad(formIndex) + QLatin1Char('_') + pad(cntrlIndex);
}

int DiagnosticScreen::controlCount() const
{
    return m_controlsStarted ? static_cast<int>(m_controls.size()) - 1 : 0;
}

DynControl* DiagnosticScreen::control(int cntrlIndex) const
{
    if (cntrlIndex < 0 || cntrlIndex >= static_cast<int>(m_controls.size()))
        return nullptr;
    return m_widgets[static_cast<std::size_t>(cntrlIndex)] ? m_controls[static_cast<std::size_t>(cntrlIndex)] : nullptr;
}

void DiagnosticScreen::setOn(std::int16_t index, const QString& name, const QVariant& value)
{
    DynControl* c = control(index);
    if (!c)
        throw Failure(FailureCode::SubscriptOutOfRange);
    c->setProperty(name, value);
}

// ---- Window-level commands

void DiagnosticScreen::setMessageText(const QString& text)
{
    m_host.setMessageText(text);
}

void DiagnosticScreen::setFormSize(int widthTwips, int heightTwips)
{
    m_host.setScreenSizeTwips(widthTwips, heightTwips);
}

// ---- Controls

std::int16_t DiagnosticScreen::returnNextControlIndex()
{
    try {
        if (!m_controlsStarted) {
            m_controlsStarted = true;
            m_controls.resize(2, nullptr);
            m_widgets.resize(2);
            m_containerIndex = -1;
            m_tabControlIndex = -1;
            return 0;
        }
        const std::size_t n = m_controls.size() - 1;
        if (n > 32767)
            throw Failure(FailureCode::Overflow);
        m_controls.push_back(nullptr);
        m_widgets.emplace_back();
        return static_cast<std::int16_t>(n);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ReturnNextControlIndex"));
        // No number: the builder's next step fails, and no control that exists is touched.
        return -1;
    }
}

void DiagnosticScreen::createNewControl(std::int16_t cntrlIndex, const QString& cntrlType)
{
    try {
        if (cntrlIndex < 0 || cntrlIndex >= static_cast<int>(m_controls.size()))
            throw Failure(FailureCode::SubscriptOutOfRange);
        QWidget* parent = m_host.screenParent();
        if (m_containerIndex != -1) {
            DynControl* container = control(m_containerIndex);
            parent = container ? container->childParent() : nullptr;
            if (!parent)
                throw Failure(FailureCode::SubscriptOutOfRange);
        }
        DynControl* made = DynControl::create(cntrlType, controlName(m_formIndex, cntrlIndex), parent);
        if (!made)
            throw Failure(FailureCode::InvalidPropertyValue);
        if (m_widgets[static_cast<std::size_t>(cntrlIndex)]) {
            delete made->widget();
            throw Failure(FailureCode::InvalidPropertyValue);  // the name is taken
        }
        m_controls[static_cast<std::size_t>(cntrlIndex)] = made;
        m_widgets[static_cast<std::size_t>(cntrlIndex)] = made->widget();
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateNewControl"));
    }
}

void DiagnosticScreen::createLabelControl(QStringList& param, const QString& nextLine)
{
    try {
        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, QStringLiteral("Label"));
        setOn(n, QStringLiteral("Caption"), param.value(1));
        setOn(n, QStringLiteral("Top"), config::readNumber(param.value(2)));
        setOn(n, QStringLiteral("Left"), config::readNumber(param.value(3)));
        setOn(n, QStringLiteral("Width"), config::readNumber(param.value(4)));
        setOn(n, QStringLiteral("Height"), config::readNumber(param.value(5)));
        setOn(n, QStringLiteral("Visible"), true);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateLabelControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void DiagnosticScreen::createFrameControl(QStringList& param, const QString& nextLine)
{
    try {
        // Without a tab container every frame lies on the window itself.
        if (m_tabControlIndex == -1 && m_containerIndex != -1)
            m_containerIndex = -1;
        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, QStringLiteral("Frame"));
        setOn(n, QStringLiteral("Caption"), param.value(1));
        setOn(n, QStringLiteral("Top"), config::readNumber(param.value(2)));
        setOn(n, QStringLiteral("Left"), config::readNumber(param.value(3)));
        setOn(n, QStringLiteral("Width"), config::readNumber(param.value(4)));
        setOn(n, QStringLiteral("Height"), config::readNumber(param.value(5)));
        setOn(n, QStringLiteral("Visible"), true);
        m_containerIndex = n;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateFrameControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void DiagnosticScreen::createTabControl(QStringList& param, const QString& nextLine)
{
    try {
        if (param.size() == 2) {
            if (m_tabControlIndex == -1) {
                printError(QStringLiteral("A warning occured within ProcessCommand, your TAB command with 2 parameters "
                                          "must be proceeded by a TAB with 6 parameters in config line ")
                           + param.value(0) + QLatin1Char(' ') + param.value(1));
                return;
            }
            DynControl* tabs = control(m_tabControlIndex);
            if (!tabs)
                throw Failure(FailureCode::SubscriptOutOfRange);
            const int count = tabs->property(QStringLiteral("Tabs")).toInt() + 1;
            setOn(m_tabControlIndex, QStringLiteral("Tabs"), count);
            setOn(m_tabControlIndex, QStringLiteral("Tab"), count - 1);
            setOn(m_tabControlIndex, QStringLiteral("Caption"), param.value(1));
            m_containerIndex = m_tabControlIndex;
            return;
        }
        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, QStringLiteral("TabContainer"));
        setOn(n, QStringLiteral("Caption"), param.value(1));
        setOn(n, QStringLiteral("Top"), config::readNumber(param.value(2)));
        setOn(n, QStringLiteral("Left"), config::readNumber(param.value(3)));
        setOn(n, QStringLiteral("Width"), config::readNumber(param.value(4)));
        setOn(n, QStringLiteral("Height"), config::readNumber(param.value(5)));
        setOn(n, QStringLiteral("Tabs"), 1);
        setOn(n, QStringLiteral("Tab"), 0);
        setOn(n, QStringLiteral("Visible"), true);
        m_containerIndex = n;
        m_tabControlIndex = n;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateTabControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void DiagnosticScreen::setTabControlToFirst()
{
    if (m_tabControlIndex != -1)
        setOn(m_tabControlIndex, QStringLiteral("Tab"), 0);
}

void DiagnosticScreen::setAdditionalProperty(QStringList& param, const QString& nextLine)
{
    Q_UNUSED(nextLine)
    const QString word = param.value(0).toUpper();
    const QString value = param.value(1);
    try {
        const int target = static_cast<int>(m_controls.size()) - 2;
        if (target < 0)
            throw Failure(FailureCode::SubscriptOutOfRange);
        const auto index = static_cast<std::int16_t>(target);
        if (word == QLatin1String(".ALIGNMENT")) {
            const QString a = value.toUpper();
            int alignment = 0;
            if (a == QLatin1String("L") || a == QLatin1String("0")) {
                alignment = 0;
            } else if (a == QLatin1String("R") || a == QLatin1String("1")) {
                alignment = 1;
            } else if (a == QLatin1String("C") || a == QLatin1String("M") || a == QLatin1String("2")) {
                alignment = 2;
            } else {
                printError(QStringLiteral("A warning occured within SetAdditionalProperty, could not find a match "
                                          ".Alignment value ")
                           + value);
            }
            setOn(index, QStringLiteral("Alignment"), alignment);
        } else if (word == QLatin1String(".BACKCOLOR")) {
            setOn(index, QStringLiteral("BackColor"), config::colourFromCode(value));
        } else if (word == QLatin1String(".FORECOLOR")) {
            setOn(index, QStringLiteral("ForeColor"), config::colourFromCode(value));
        } else if (word == QLatin1String(".TOOLTIPTEXT")) {
            setOn(index, QStringLiteral("ToolTipText"), value);
        } else if (word == QLatin1String(".AUTOSIZE")) {
            setOn(index, QStringLiteral("AutoSize"), value);
        } else if (word == QLatin1String(".TABSPERROW")) {
            setOn(index, QStringLiteral("TabsPerRow"), config::readNumber(value));
        } else {
            printError(QStringLiteral("A warning occured within SetAdditionalProperty, could not find a match  for ")
                       + param.value(0));
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("SetAdditionalProperty"),
                      QStringLiteral(" with Param1=") + param.value(0) + QStringLiteral(", Param2=") + value);
    }
}

void DiagnosticScreen::deleteControls()
{
    // Children were made after their containers: removing from the end takes them first.
    for (int k = static_cast<int>(m_widgets.size()) - 2; k >= 0; --k) {
        delete m_widgets[static_cast<std::size_t>(k)].data();
        m_controls[static_cast<std::size_t>(k)] = nullptr;
    }
    m_containerIndex = -1;
    m_tabControlIndex = -1;
    m_controlsStarted = false;
    m_bitListInUse = false;
    m_bwlListInUse = false;
    m_bfListInUse = false;
}

// ---- Indicators

bool DiagnosticScreen::patternPasses(const QString& pattern)
{
    const auto text = display::formatPattern(123.456, pattern);
    if (!text)
        return false;
    m_host.setTestText(*text);
    return true;
}

void DiagnosticScreen::createBitControl(QStringList& param, const QString& nextLine)
{
    if (!m_bitListInUse) {
        m_bits.clear();
        m_bitListInUse = true;
    }
    m_bits.emplace_back();
    const std::size_t r = m_bits.size() - 1;
    try {
        m_bits[r].messageId = config::readWholeStrict(param.value(6));
        std::uint8_t byteNum = config::readByte(param.value(7));
        if (byteNum > 7) {
            byteNum = 7;
            printError(QStringLiteral("Processing error: your Byte # value in the Bit command must be within the "
                                      "range of 0-7 in line ")
                       + nextLine);
        }
        m_bits[r].byteNum = byteNum;
        const double mask = std::nearbyint(config::readNumber(param.value(8)));
        if (mask < 0 || mask > 255) {
            printError(QStringLiteral("Processing error: your Bit Mask value in the Bit command must be within the "
                                      "range of 0-255 in line ")
                       + nextLine);
            return;
        }
        m_bits[r].bitMask = static_cast<std::uint8_t>(mask);
        // The lamp's colours are checked as .BACKCOLOR checks a colour.
        const std::int32_t offColor = config::colourFromCode(param.value(9));
        const std::int32_t onColor = config::colourFromCode(param.value(10));
        for (const std::int32_t colour : {offColor, onColor}) {
            if (colour < 0 || colour > 0xFFFFFF)
                throw Failure(FailureCode::InvalidPropertyValue);
        }
        m_bits[r].offColor = offColor;
        m_bits[r].onColor = onColor;

        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, kShape);
        setOn(n, QStringLiteral("Top"), config::readNumber(param.value(2)));
        setOn(n, QStringLiteral("Left"), config::readNumber(param.value(3)));
        setOn(n, QStringLiteral("Width"), 375);
        setOn(n, QStringLiteral("Height"), 175);
        setOn(n, QStringLiteral("BackStyle"), 1);
        setOn(n, QStringLiteral("Visible"), true);
        m_bits[r].cntrlIndex = n;
        m_bits[r].valid = true;

        // The label beside the lamp, 400 twips to its right.
        param[3] = QString::number(config::readStrictNumber(param.value(3)) + 400);
        createLabelControl(param, nextLine);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateBitControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void DiagnosticScreen::createBWLTextControl(QStringList& param, const QString& nextLine)
{
    if (!m_bwlListInUse) {
        m_bwl.clear();
        m_bwlListInUse = true;
    }
    m_bwl.emplace_back();
    const std::size_t r = m_bwl.size() - 1;
    try {
        m_bwl[r].messageId = config::readWholeStrict(param.value(6));
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
        m_bwl[r].sizeCode = sizeCode;
        std::uint8_t byteNum = config::readByte(param.value(8));
        if (byteNum > 7 && (sizeCode == SizeCode::B || sizeCode == SizeCode::SB)) {
            byteNum = 7;
            printError(QStringLiteral("Processing error: your Byte# value in the BWLText command must be within the "
                                      "range of 0-7 (for Byte) in line ")
                       + nextLine + QStringLiteral(" Setting to default of 7!"));
        } else if (byteNum > 6 && (sizeCode == SizeCode::W || sizeCode == SizeCode::SW)) {
            byteNum = 6;
            printError(QStringLiteral("Processing error: your Byte# value in the BWLText command must be within the "
                                      "range of 0-6 (for Word) in line ")
                       + nextLine + QStringLiteral(" Setting to default of 6!"));
        } else if (byteNum > 4 && (sizeCode == SizeCode::L || sizeCode == SizeCode::SL)) {
            byteNum = 4;
            printError(QStringLiteral("Processing error: your Byte# value in the BWLText command must be within the "
                                      "range of 0-4 (for Long) in line ")
                       + nextLine + QStringLiteral(" Setting to default of 4!"));
        }
        m_bwl[r].byteNum = byteNum;
        m_bwl[r].m = toSingle(config::readNumber(param.value(9)));
        if (m_bwl[r].m == 0.0f) {
            printError(QStringLiteral("Processing warning: Are you sure you want to use the value of    zero for M in "
                                      "mX+B in line ")
                       + nextLine);
        }
        m_bwl[r].b = toSingle(config::readNumber(param.value(10)));
        const QString shown = param.value(11).toUpper();
        if (shown == QLatin1String("H")) {
            m_bwl[r].hexDisplay = true;
        } else if (shown != QLatin1String("D")) {
            printError(QStringLiteral("Processing error: Display must be either 'D' or 'H' in the BWLText command in "
                                      "line ")
                       + nextLine);
        }
        if (code > 2 && m_bwl[r].hexDisplay) {
            printError(QStringLiteral("Processing warning: If displaying a signed value, you must choose decimal as "
                                      "the dispay format in line ")
                       + nextLine);
        }
        m_bwl[r].formatPattern = param.value(12);

        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, kTextBox);
        setOn(n, QStringLiteral("Top"), config::readNumber(param.value(2)));
        setOn(n, QStringLiteral("Left"), config::readNumber(param.value(3)));
        setOn(n, QStringLiteral("Width"), config::readNumber(param.value(4)));
        setOn(n, QStringLiteral("Height"), config::readNumber(param.value(5)));
        setOn(n, QStringLiteral("Text"), param.value(1));
        setOn(n, QStringLiteral("Visible"), true);
        m_bwl[r].cntrlIndex = n;
        m_bwl[r].valid = true;

        if (!patternPasses(m_bwl[r].formatPattern)) {
            printError(QStringLiteral("Processing error: your Format entry in BWLText does not pass and has been "
                                      "voided in line ")
                       + nextLine);
            m_bwl[r].formatPattern.clear();
        }
        m_bwl[r].pattern = display::DisplayPattern::compile(m_bwl[r].formatPattern).value_or(display::DisplayPattern());
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateBWLTextControl"), QStringLiteral(" in line ") + nextLine);
    }
}

void DiagnosticScreen::createBFTextControl(QStringList& param, const QString& nextLine, bool isSigned)
{
    if (!m_bfListInUse) {
        m_bf.clear();
        m_bfListInUse = true;
    }
    m_bf.emplace_back();
    const std::size_t r = m_bf.size() - 1;
    m_bf[r].isSigned = isSigned;
    try {
        m_bf[r].messageId = config::readWholeStrict(param.value(6));
        std::uint8_t startByte = config::readByte(param.value(7));
        if (startByte > 7) {
            startByte = 7;
            printError(QStringLiteral("Processing error: your Start Byte# value in the BFText command must be within "
                                      "the range of 0-7 in line ")
                       + nextLine + QStringLiteral(" Setting to default of 7!"));
        }
        m_bf[r].startByte = startByte;
        std::uint8_t startBit = config::readByte(param.value(8));
        if (startBit > 7) {
            startBit = 0;
            printError(QStringLiteral("Processing error: your Start Bit# value in the BFText command must be within "
                                      "the range of 0-7 in line ")
                       + nextLine + QStringLiteral(" Setting to default of 0!"));
        }
        m_bf[r].startBit = startBit;
        std::uint8_t numBits = config::readByte(param.value(9));
        if (numBits == 0 || numBits > 32) {
            numBits = 1;
            printError(QStringLiteral("Processing error: your Number of Bits value in the BFText command must be "
                                      "within the range of 1-32 in line ")
                       + nextLine + QStringLiteral(" Setting to default of 1!"));
        }
        m_bf[r].numBits = numBits;
        m_bf[r].m = toSingle(config::readNumber(param.value(10)));
        if (m_bf[r].m == 0.0f) {
            printError(QStringLiteral("Processing warning: Are you sure you want to use the value of    zero for M in "
                                      "mX+B in line ")
                       + nextLine);
        }
        m_bf[r].b = toSingle(config::readNumber(param.value(11)));
        const QString shown = param.value(12).toUpper();
        if (shown == QLatin1String("H")) {
            m_bf[r].hexDisplay = true;
        } else if (shown != QLatin1String("D")) {
            printError(QStringLiteral("Processing error: Display must be either 'D' or 'H' in the BFText command in "
                                      "line ")
                       + nextLine);
        }
        if (isSigned && m_bf[r].hexDisplay) {
            printError(QStringLiteral("Processing error: you cannot use a Hex display when using the Signed Bitfield "
                                      "Text command ")
                       + nextLine + QStringLiteral(" Setting to Dec display!"));
            m_bf[r].hexDisplay = false;
        }
        m_bf[r].formatPattern = param.value(13);

        const std::int16_t n = returnNextControlIndex();
        createNewControl(n, kTextBox);
        setOn(n, QStringLiteral("Top"), config::readNumber(param.value(2)));
        setOn(n, QStringLiteral("Left"), config::readNumber(param.value(3)));
        setOn(n, QStringLiteral("Width"), config::readNumber(param.value(4)));
        setOn(n, QStringLiteral("Height"), config::readNumber(param.value(5)));
        setOn(n, QStringLiteral("Text"), param.value(1));
        setOn(n, QStringLiteral("Visible"), true);
        m_bf[r].cntrlIndex = n;
        m_bf[r].valid = true;

        if (!patternPasses(m_bf[r].formatPattern)) {
            printError(QStringLiteral("Processing error: your Format entry in BFText does not pass and has been voided "
                                      "in line ")
                       + nextLine);
            m_bf[r].formatPattern.clear();
        }
        m_bf[r].pattern = display::DisplayPattern::compile(m_bf[r].formatPattern).value_or(display::DisplayPattern());
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("CreateBFTextControl"), QStringLiteral(" in line ") + nextLine);
    }
}

// ---- Decoding

void DiagnosticScreen::processDiagnosticMessages(std::uint8_t /*length*/, const DiagnosticBuffer& frame)
{
    try {
        if (m_bitListInUse) {
            for (const BitControlRecord& record : m_bits) {
                if (!record.valid || !decode::listens(record.messageId, frame))
                    continue;
                auto* lamp = dynamic_cast<DynShape*>(control(record.cntrlIndex));
                if (!lamp)
                    throw Failure(FailureCode::PropertyNotSupported);
                lamp->setBackColorValue((frame[record.byteNum] & record.bitMask) ? record.onColor : record.offColor);
            }
        }
        bool hexTooLarge = false;
        auto show = [&](int cntrlIndex, const QString& text) {
            if (hexTooLarge) {
                printError(QStringLiteral("An unexpected error occured within ProcessDiagnosticMessages with Hex value "
                                          "greater than 0x7FFF,FFFF"));
            }
            auto* box = dynamic_cast<DynTextBox*>(control(cntrlIndex));
            if (!box)
                throw Failure(FailureCode::PropertyNotSupported);
            box->setTextValue(text);
        };
        if (m_bwlListInUse) {
            for (const BWLTextRecord& record : m_bwl) {
                if (!record.valid || !decode::listens(record.messageId, frame))
                    continue;
                const double raw = decode::bwlRaw(record.sizeCode, record.byteNum, frame);
                const QString text = decode::valueText(raw, record.m, record.b, record.hexDisplay, record.pattern, hexTooLarge);
                show(record.cntrlIndex, text);
            }
        }
        if (m_bfListInUse) {
            for (const BFTextRecord& record : m_bf) {
                if (!record.valid || !decode::listens(record.messageId, frame))
                    continue;
                const double raw = decode::bitFieldRaw(record.startByte, record.startBit, record.numBits,
                                                       record.isSigned, frame);
                const QString text = decode::valueText(raw, record.m, record.b, record.hexDisplay, record.pattern, hexTooLarge);
                show(record.cntrlIndex, text);
            }
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ProcessDiagnosticMessages"));
    }
}

// ---- Dump

QStringList DiagnosticScreen::dump() const
{
    QStringList lines;
    // Where controls made inside a container lie: the frame, or a page of a tab container.
    QHash<const QWidget*, QString> containers;
    for (int j = 0; j < controlCount(); ++j) {
        DynControl* c = control(j);
        if (auto* tabs = dynamic_cast<DynTabContainer*>(c)) {
            for (int p = 0; p < tabs->pageCount(); ++p)
                containers.insert(tabs->page(p), tabs->objectName() + QStringLiteral(" page ") + QString::number(p));
        } else if (c && c->childParent()) {
            containers.insert(c->widget(), c->widget()->objectName());
        }
    }
    for (int i = 0; i < controlCount(); ++i) {
        DynControl* c = control(i);
        if (!c) {
            lines.append(controlName(m_formIndex, i) + QStringLiteral(" (none)"));
            continue;
        }
        const QString where = containers.value(c->widget()->parentWidget(), QStringLiteral("window"));
        QString line = c->widget()->objectName() + QLatin1Char(' ') + c->kind() + QStringLiteral(" in ") + where;
        line += QStringLiteral(" at ") + c->property(QStringLiteral("Left")).toString() + QLatin1Char(',')
            + c->property(QStringLiteral("Top")).toString() + QStringLiteral(" size ")
            + c->property(QStringLiteral("Width")).toString() + QLatin1Char('x')
            + c->property(QStringLiteral("Height")).toString();
        const QStringList assigned = c->assignedProperties();
        for (const QString& name : assigned) {
            if (name == QLatin1String("Top") || name == QLatin1String("Left") || name == QLatin1String("Width")
                || name == QLatin1String("Height"))
                continue;
            QVariant v = c->property(name);
            const bool colour = name == QLatin1String("BackColor") || name == QLatin1String("ForeColor");
            line += QLatin1Char(' ') + name + QLatin1Char('=') + (colour ? colourText(v.toInt()) : valueText(v));
        }
        if (auto* tabs = dynamic_cast<DynTabContainer*>(c)) {
            QStringList captions;
            for (int p = 0; p < tabs->pageCount(); ++p)
                captions.append(tabs->pageCaption(p));
            line += QStringLiteral(" Pages=\"") + captions.join(QLatin1Char('|')) + QLatin1Char('"');
        }
        lines.append(line);
    }
    auto recordState = [](bool valid) { return valid ? QString() : QStringLiteral(" (unused)"); };
    if (m_bitListInUse) {
        for (const BitControlRecord& r : m_bits) {
            lines.append(QStringLiteral("BIT ") + (r.valid ? controlName(m_formIndex, r.cntrlIndex) : QStringLiteral("-"))
                         + QStringLiteral(" MessageID=") + QString::number(r.messageId) + QStringLiteral(" ByteNum=")
                         + QString::number(r.byteNum) + QStringLiteral(" BitMask=") + QString::number(r.bitMask)
                         + QStringLiteral(" OffColor=") + colourText(r.offColor) + QStringLiteral(" OnColor=")
                         + colourText(r.onColor) + recordState(r.valid));
        }
    }
    auto common = [](float m, float b, bool hex, const QString& pattern) {
        return QStringLiteral(" M=") + display::plainDecimal(m) + QStringLiteral(" B=") + display::plainDecimal(b)
            + QStringLiteral(" Display=") + (hex ? QStringLiteral("H") : QStringLiteral("D")) + QStringLiteral(" Pattern=\"")
            + pattern + QLatin1Char('"');
    };
    if (m_bwlListInUse) {
        for (const BWLTextRecord& r : m_bwl) {
            lines.append(QStringLiteral("BWLTEXT ")
                         + (r.valid ? controlName(m_formIndex, r.cntrlIndex) : QStringLiteral("-"))
                         + QStringLiteral(" MessageID=") + QString::number(r.messageId) + QStringLiteral(" Size=")
                         + sizeName(r.sizeCode) + QStringLiteral(" ByteNum=") + QString::number(r.byteNum)
                         + common(r.m, r.b, r.hexDisplay, r.formatPattern) + recordState(r.valid));
        }
    }
    if (m_bfListInUse) {
        for (const BFTextRecord& r : m_bf) {
            lines.append((r.isSigned ? QStringLiteral("SBFTEXT ") : QStringLiteral("BFTEXT "))
                         + (r.valid ? controlName(m_formIndex, r.cntrlIndex) : QStringLiteral("-"))
                         + QStringLiteral(" MessageID=") + QString::number(r.messageId) + QStringLiteral(" StartByte=")
                         + QString::number(r.startByte) + QStringLiteral(" StartBit=") + QString::number(r.startBit)
                         + QStringLiteral(" NumBits=") + QString::number(r.numBits)
                         + common(r.m, r.b, r.hexDisplay, r.formatPattern) + recordState(r.valid));
        }
    }
    return lines;
}

}  // namespace tellvane
