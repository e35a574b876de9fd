#pragma once

#include "core/Failure.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tellvane {

// What the commands of a configuration file build: the diagnostic screen of a
// board window. Each builder gets the line's items (item 0 the command word)
// and the cleaned line for its messages, and reports its own failures.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual void setMessageText(const QString& text) = 0;
    virtual void setFormSize(int widthTwips, int heightTwips) = 0;
    virtual void createTabControl(QStringList& param, const QString& nextLine) = 0;
    virtual void createFrameControl(QStringList& param, const QString& nextLine) = 0;
    virtual void createLabelControl(QStringList& param, const QString& nextLine) = 0;
    virtual void createBitControl(QStringList& param, const QString& nextLine) = 0;
    virtual void createBWLTextControl(QStringList& param, const QString& nextLine) = 0;
    virtual void createBFTextControl(QStringList& param, const QString& nextLine, bool isSigned) = 0;
    virtual void setAdditionalProperty(QStringList& param, const QString& nextLine) = 0;
    virtual void setTabControlToFirst() = 0;
};

// Runs a configuration file through the command language: line clean-up,
// comments, items, the dispatcher with its count warnings, MESSAGE and FORM,
// and groups from the group file with their PARAMk placeholders. Bad lines
// are reported and skipped; loading always goes on with the next line.
class ConfigurationLoader {
public:
    // Groups nest at most this deep; one file expands at most this many groups.
    static constexpr int kMaxGroupDepth = 16;
    static constexpr int kMaxGroupExpansions = 10000;
    static constexpr int kMinFormWidth = 7020;
    static constexpr int kMinFormHeight = 3735;
    // A configuration or group file holds at most this much: a screen takes
    // a few kilobytes, and a file far larger is no screen (it would only fill
    // the memory and the error list). One beyond it is not read, with a warning.
    static constexpr qint64 kMaxFileBytes = 1 << 20;

    // A smaller bound on expansions is for tools that load many files
    // quickly (the fuzzer); the program uses kMaxGroupExpansions.
    ConfigurationLoader(CommandTarget& target, int formIndex, int maxGroupExpansions = kMaxGroupExpansions);

    // EnterDiagnosticMode: the file named after style and variant in the
    // folder (style as a number, variant as four digits: "0012", "0034" ->
    // 12-0034.cfg). False when there is no such file or the load stopped on a
    // failure (reported).
    bool enterDiagnosticMode(const QString& styleText, const QString& variantText, const QString& folder);

    // Steps of the load once the file is known; groups come from groups.grp
    // beside it. False when the file does not exist.
    bool run(const QString& configFile);

    // The name of a board's configuration file. Throws Failure(Overflow) when
    // style or variant does not fit 16 bits.
    static QString configFileName(const QString& styleText, const QString& variantText);

    void processCommand(const QString& nextLine, QStringList& param);
    void processGroupCommand(const QString& nextLine, const QStringList& param);

    QString groupFile() const { return m_groupFile; }
    // The file run() read, once it was found.
    QString configFile() const { return m_configFile; }

private:
    struct Line {
        QString cleaned;
        QStringList items;
        QString command;    // item 0 in capitals
        bool startsGroup = false;  // a STARTGROUP line with a name
        QString groupName;         // that name in capitals
    };
    // The lines a group expands to (indices into the group file's lines), and
    // whether the group was found at all.
    struct GroupBody {
        QList<qsizetype> lines;
        bool found = false;
    };
    const std::optional<QList<Line>>& groupLines();
    const GroupBody& groupBody(const QString& upperName);
    // ReadConfigLine with its failure report; empty on failure.
    QStringList readLine(const QString& nextLine);

    CommandTarget& m_target;
    int m_formIndex;
    QString m_groupFile;
    QString m_configFile;
    bool m_groupsRead = false;
    std::optional<FailureCode> m_groupFailure;  // the group file could not be read
    std::optional<QList<Line>> m_groups;
    QHash<QString, GroupBody> m_bodies;  // filled as groups are first used
    int m_depth = 0;
    int m_maxExpansions;
    int m_expansions = 0;
    bool m_expansionWarned = false;
    bool m_depthWarned = false;  // each bound is reported once a load
};

}  // namespace tellvane
