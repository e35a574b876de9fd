#pragma once

#include "diagnostics/ConfigurationLoader.h"
#include "diagnostics/ScreenDefinition.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace tellvane {

// What the commands of a configuration file build: a screen definition. Each
// command's items are read, clamped and checked here, with the warnings the
// configuration author sees; no widget is made.
class ScreenBuilder final : public CommandTarget {
public:
    explicit ScreenBuilder(int formIndex);

    const ScreenDefinition& definition() const { return m_screen; }
    ScreenDefinition takeDefinition() { return std::move(m_screen); }

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

    // The number of the next control, or -1 (reported) when there is none.
    std::int16_t returnNextControlIndex();
    // Makes the control of that number in the current container; reports a
    // number out of range or already taken.
    void createNewControl(std::int16_t cntrlIndex, ControlKind kind);

private:
    ControlDefinition& control(std::int16_t index);
    // The builders' setters, one per kind of value; each property takes the
    // one its conversion reads.
    void setNumber(std::int16_t index, Property property, double value);
    void setText(std::int16_t index, Property property, const QString& text);
    void setFlag(std::int16_t index, Property property, bool flag);
    // A control at the items' Top, Left, Width and Height (items 2 to 5).
    void place(std::int16_t index, const QStringList& param);
    // A label, frame or tab container with item 1 as its caption, shown.
    std::int16_t makeCaptioned(ControlKind kind, const QStringList& param);
    // The value box of a BWLTEXT or BFTEXT record, showing item 1 until the
    // first frame; the record becomes valid once the box exists.
    template <typename Record>
    void makeValueBox(Record& record, const QStringList& param, const QString& command, const QString& nextLine);

    ScreenDefinition m_screen;
    std::int16_t m_containerIndex = -1;
    std::int16_t m_tabControlIndex = -1;
    bool m_controlsStarted = false;
};

// A configuration file loaded into a screen definition. The load's messages
// are kept in the definition; with passOn they also reach the error sink as
// they are reported.
struct ScreenLoad {
    bool loaded = false;  // as ConfigurationLoader says
    ScreenDefinition definition;
    // The configuration file read (empty when none was found) and the
    // groups.grp beside it, which GROUP lines read.
    QString configFile;
    QString groupFile;
};
ScreenLoad loadScreenFile(const QString& configFile, int formIndex, bool passOn);
// The file a board of that style and variant looks for in the folder.
ScreenLoad loadBoardScreen(const QString& styleText, const QString& variantText, const QString& folder, int formIndex,
                           bool passOn);

}  // namespace tellvane
