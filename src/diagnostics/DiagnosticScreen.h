#pragma once

#include "diagnostics/DecodedValue.h"
#include "diagnostics/Indicators.h"
#include "diagnostics/ScreenDefinition.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

namespace tellvane {

class DynControl;

// The window a diagnostic screen is shown on.
class ScreenHost {
public:
    virtual ~ScreenHost() = default;
    // Where the controls outside any container go.
    virtual QWidget* screenParent() = 0;
    virtual void setMessageText(const QString& text) = 0;
    virtual void setScreenSizeTwips(int width, int height) = 0;
    // The scratch box that display patterns are tried in.
    virtual void setTestText(const QString& text) = 0;
};

// A board window's diagnostic screen: the widgets made from a screen
// definition, and the decoding of the board's diagnostic frames into them.
class DiagnosticScreen final {
public:
    explicit DiagnosticScreen(ScreenHost& host);
    ~DiagnosticScreen();

    DiagnosticScreen(const DiagnosticScreen&) = delete;
    DiagnosticScreen& operator=(const DiagnosticScreen&) = delete;

    // Makes the screen a definition describes, in place of the one before,
    // and gives the window its text and size.
    void build(ScreenDefinition definition);
    // Builds the same screen again from its changed files: the observer stays,
    // told of the old and the new definition, in place of being closed.
    void rebuild(ScreenDefinition definition);
    void deleteControls();

    // Brings the indicators that listen to a frame up to date; the frame's
    // time goes to the observer with each value.
    void processDiagnosticMessages(std::uint8_t length, const DiagnosticBuffer& frame, LineTime time = {});

    // Who hears each decoded value (none: null). Detached, after being told,
    // when the controls go.
    void setObserver(DecodedValueObserver* observer) { m_observer = observer; }
    DecodedValueObserver* observer() const { return m_observer; }
    // Counts the screens built and removed: a number taken before a wait
    // tells whether the indicators are still the same ones.
    std::uint64_t generation() const { return m_generation; }

    const ScreenDefinition& definition() const { return m_definition; }
    int controlCount() const { return static_cast<int>(m_controls.size()); }
    // Null for a number out of range or a control that was never made.
    DynControl* control(int cntrlIndex) const;
    // The number of the control a widget is; -1 for any other widget.
    int indexOf(const QWidget* widget) const;

private:
    ScreenHost& m_host;
    ScreenDefinition m_definition;
    std::vector<DynControl*> m_controls;
    std::vector<QPointer<QWidget>> m_widgets;  // the same controls, as long as they live
    DecodedValueObserver* m_observer = nullptr;
    std::uint64_t m_generation = 0;
};

}  // namespace tellvane
