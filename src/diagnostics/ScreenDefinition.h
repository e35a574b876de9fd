#pragma once

#include "diagnostics/ControlProperties.h"
#include "diagnostics/Indicators.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <optional>
#include <vector>

namespace tellvane {

// Screens read and built; quiet unless QT_LOGGING_RULES asks for it.
Q_DECLARE_LOGGING_CATEGORY(lcDiagnostics)

// One control of a screen as the configuration file describes it: its kind,
// where it lies, and the properties set, each converted and checked.
class ControlDefinition {
public:
    ControlDefinition(ControlKind kind, QString name, int container, int page);

    ControlKind kind() const { return m_kind; }
    const QString& name() const { return m_name; }
    // The frame or tab container it lies in (-1: the window), and for a tab
    // container the page.
    int container() const { return m_container; }
    int page() const { return m_page; }

    // Throws Failure(PropertyNotSupported) for a property the kind does not
    // have, and what convertPropertyValue throws for a value it cannot take.
    void set(Property property, const QVariant& value);
    bool isSet(Property property) const { return m_values[static_cast<std::size_t>(property)].isValid(); }
    // The value set, or what the kind shows without one.
    QVariant value(Property property) const;

    // A tab container's pages: their captions, and the page controls are made on.
    const QStringList& pageCaptions() const { return m_pages; }
    int currentPage() const { return m_current; }

private:
    ControlKind m_kind;
    QString m_name;
    int m_container;
    int m_page;
    std::array<QVariant, kPropertyCount> m_values;
    QStringList m_pages;
    int m_current = 0;
};

// The board window's width and height without FORM.
inline constexpr int kBoardWindowWidthTwips = 7020;
inline constexpr int kBoardWindowHeightTwips = 3690;

// A diagnostic screen as a configuration file describes it, before any
// widget exists: the controls (a slot each; a slot stays empty when its
// command failed before the control was made), the three indicator tables,
// the window's text and size, and every message of the load in order.
struct ScreenDefinition {
    int formIndex = 0;
    std::vector<std::optional<ControlDefinition>> controls;

    std::vector<BitControlRecord> bits;
    std::vector<BWLTextRecord> bwl;
    std::vector<BFTextRecord> bf;
    bool bitListInUse = false;
    bool bwlListInUse = false;
    bool bfListInUse = false;

    std::optional<QString> messageText;  // MESSAGE
    std::optional<std::pair<int, int>> formSize;  // FORM, in twips
    std::optional<QString> testText;  // the last display pattern tried
    QStringList warnings;

    int controlCount() const { return static_cast<int>(controls.size()); }
    // Null for a number out of range or an empty slot.
    const ControlDefinition* control(int index) const;

    // "Control_" + the form index and the control's number, three digits each.
    static QString controlName(int formIndex, int index);

    // One line per control (name, kind, container and page, geometry in
    // twips, the properties set) and per indicator record.
    QStringList dump() const;
};

}  // namespace tellvane
