#pragma once

#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/Indicators.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QWidget;

namespace tellvane {

class DynControl;

// The window a diagnostic screen is built on.
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

// A board window's diagnostic screen: the controls made at run time and their
// layout state, the three indicator tables, the builders the configuration
// language calls, and the decoding of the board's diagnostic frames.
class DiagnosticScreen final : public CommandTarget {
public:
    DiagnosticScreen(ScreenHost& host, std::int16_t formIndex);
    ~DiagnosticScreen() override;

    DiagnosticScreen(const DiagnosticScreen&) = delete;
    DiagnosticScreen& operator=(const DiagnosticScreen&) = delete;

    std::int16_t formIndex() const { return m_formIndex; }
    void setFormIndex(std::int16_t formIndex) { m_formIndex = formIndex; }

    // CommandTarget.
    void setMessageText(const QString& text) override;
    void setFormSize(int widthTwips, int heightTwips) override;
    void createTabControl(QStringList& param, const QString& nextLine) override;
    void createFrameControl(QStringList& param, const QString& nextLine) override;
    void createLabelControl(QStringList& param, const QString& nextLine) override;
    void createBitControl(QStringList& param, const QString& nextLine) override;
    void createBWLTextControl(QStringList& param, const QString& nextLine) override;
    void createBFTextControl(QStringList& param, const QString& nextLine, bool isSigned) override;
    void setAdditionalProperty(QStringList& param, const QString& nextLine) override;
    void setTabControlToFirst() override;

    std::int16_t returnNextControlIndex();
    void createNewControl(std::int16_t cntrlIndex, const QString& cntrlType);
    void deleteControls();

    // Brings the indicators that listen to a frame up to date.
    void processDiagnosticMessages(std::uint8_t length, const DiagnosticBuffer& frame);

    static QString controlName(int formIndex, int cntrlIndex);

    // What was built, for tests and for checking configuration files.
    int controlCount() const;
    DynControl* control(int cntrlIndex) const;
    const std::vector<BitControlRecord>& bitControls() const { return m_bits; }
    const std::vector<BWLTextRecord>& bwlTexts() const { return m_bwl; }
    const std::vector<BFTextRecord>& bfTexts() const { return m_bf; }
    bool bitListInUse() const { return m_bitListInUse; }
    bool bwlListInUse() const { return m_bwlListInUse; }
    bool bfListInUse() const { return m_bfListInUse; }
    std::int16_t containerIndex() const { return m_containerIndex; }
    std::int16_t tabControlIndex() const { return m_tabControlIndex; }

    // One line per control (name, kind, container and page, geometry in
    // twips, the properties set) and per indicator record.
    QStringList dump() const;

private:
    void setOn(std::int16_t index, const QString& name, const QVariant& value);
    // The pattern test of the value-box builders; false when the pattern is voided.
    bool patternPasses(const QString& pattern);

    ScreenHost& m_host;
    std::int16_t m_formIndex;
    std::vector<QPointer<QWidget>> m_widgets;  // DynControls; one spare at the end
    std::vector<DynControl*> m_controls;
    std::int16_t m_containerIndex = -1;
    std::int16_t m_tabControlIndex = -1;
    bool m_controlsStarted = false;

    std::vector<BitControlRecord> m_bits;
    std::vector<BWLTextRecord> m_bwl;
    std::vector<BFTextRecord> m_bf;
    bool m_bitListInUse = false;
    bool m_bwlListInUse = false;
    bool m_bfListInUse = false;
};

}  // namespace tellvane
