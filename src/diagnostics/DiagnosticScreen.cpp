#include "diagnostics/DiagnosticScreen.h"

#include "core/ErrorReporting.h"
#include "diagnostics/DynShape.h"
#include "diagnostics/DynTextBox.h"

#include <QWidget>

#include <algorithm>
#include <utility>

namespace tellvane {

DiagnosticScreen::DiagnosticScreen(ScreenHost& host) : m_host(host) {}

DiagnosticScreen::~DiagnosticScreen()
{
    deleteControls();
}

DynControl* DiagnosticScreen::control(int cntrlIndex) const
{
    if (cntrlIndex < 0 || cntrlIndex >= controlCount())
        return nullptr;
    return m_widgets[static_cast<std::size_t>(cntrlIndex)] ? m_controls[static_cast<std::size_t>(cntrlIndex)] : nullptr;
}

int DiagnosticScreen::indexOf(const QWidget* widget) const
{
    if (!widget)
        return -1;
    for (std::size_t i = 0; i < m_widgets.size(); ++i) {
        if (m_widgets[i] == widget)
            return static_cast<int>(i);
    }
    return -1;
}

void DiagnosticScreen::build(ScreenDefinition definition)
{
    deleteControls();
    m_definition = std::move(definition);
    const int count = m_definition.controlCount();
    m_controls.assign(static_cast<std::size_t>(count), nullptr);
    m_widgets.assign(static_cast<std::size_t>(count), nullptr);
    for (int i = 0; i < count; ++i) {
        const ControlDefinition* c = m_definition.control(i);
        if (!c)
            continue;
        QWidget* parent = m_host.screenParent();
        if (c->container() != -1) {
            // Containers come before what they hold.
            DynControl* container = control(c->container());
            parent = container ? container->childParent(c->page()) : nullptr;
            if (!parent)
                continue;
        }
        DynControl* made = DynControl::create(c->kind(), c->name(), parent);
        made->applyDefinition(*c);
        m_controls[static_cast<std::size_t>(i)] = made;
        m_widgets[static_cast<std::size_t>(i)] = made->widget();
    }
    if (m_definition.testText)
        m_host.setTestText(*m_definition.testText);
    if (m_definition.messageText)
        m_host.setMessageText(*m_definition.messageText);
    if (m_definition.formSize)
        m_host.setScreenSizeTwips(m_definition.formSize->first, m_definition.formSize->second);
    qCDebug(lcDiagnostics) << "screen of form" << m_definition.formIndex << "built:"
                           << std::count(m_controls.begin(), m_controls.end(), nullptr) << "of" << count
                           << "control slots empty";
}

void DiagnosticScreen::rebuild(ScreenDefinition definition)
{
    DecodedValueObserver* observer = std::exchange(m_observer, nullptr);
    ScreenDefinition before = std::move(m_definition);
    build(std::move(definition));
    m_observer = observer;
    if (observer)
        observer->screenRebuilt(before, m_definition);
}

void DiagnosticScreen::deleteControls()
{
    ++m_generation;
    if (DecodedValueObserver* observer = std::exchange(m_observer, nullptr))
        observer->screenClosed();
    // Children were made after their containers: removing from the end takes them first.
    for (auto it = m_widgets.rbegin(); it != m_widgets.rend(); ++it)
        delete it->data();
    m_widgets.clear();
    m_controls.clear();
    m_definition = ScreenDefinition();
}

void DiagnosticScreen::processDiagnosticMessages(std::uint8_t /*length*/, const DiagnosticBuffer& frame, LineTime time)
{
    try {
        if (m_definition.bitListInUse) {
            for (const BitControlRecord& record : m_definition.bits) {
                if (!record.valid || !decode::listens(record.messageId, frame))
                    continue;
                auto* lamp = dynamic_cast<DynShape*>(control(record.cntrlIndex));
                if (!lamp)
                    throw Failure(FailureCode::PropertyNotSupported);
                const int lit = frame[record.byteNum] & record.bitMask;
                lamp->setBackColorValue(lit ? record.onColor : record.offColor);
                if (m_observer)
                    m_observer->valueDecoded({record.cntrlIndex, static_cast<double>(lit), lit ? 1.0 : 0.0, time});
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
        if (m_definition.bwlListInUse) {
            for (const BWLTextRecord& record : m_definition.bwl) {
                if (!record.valid || !decode::listens(record.messageId, frame))
                    continue;
                const double raw = decode::bwlRaw(record.sizeCode, record.byteNum, frame);
                show(record.cntrlIndex,
                     decode::valueText(raw, record.m, record.b, record.hexDisplay, record.pattern, hexTooLarge));
                if (m_observer)
                    m_observer->valueDecoded({record.cntrlIndex, raw, decode::scaled(raw, record.m, record.b), time});
            }
        }
        if (m_definition.bfListInUse) {
            for (const BFTextRecord& record : m_definition.bf) {
                if (!record.valid || !decode::listens(record.messageId, frame))
                    continue;
                const double raw = decode::bitFieldRaw(record.startByte, record.startBit, record.numBits,
                                                       record.isSigned, frame);
                show(record.cntrlIndex,
                     decode::valueText(raw, record.m, record.b, record.hexDisplay, record.pattern, hexTooLarge));
                if (m_observer)
                    m_observer->valueDecoded({record.cntrlIndex, raw, decode::scaled(raw, record.m, record.b), time});
            }
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ProcessDiagnosticMessages"));
    }
}

}  // namespace tellvane
