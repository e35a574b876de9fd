#include "diagnostics/ConfigurationLoader.h"

#include "core/ErrorReporting.h"
#include "core/Numbers.h"
#include "diagnostics/ConfigLine.h"
#include "diagnostics/ItemReading.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace tellvane {

namespace {

const QString kWarning = QStringLiteral("A warning occured within ProcessCommand, ");

// The file's bytes; nullopt when it holds more than the loader reads (at most
// one byte more is read to tell).
std::optional<QByteArray> readBoundedFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.exists() ? FailureCode::PermissionDenied : FailureCode::FileNotFound);
    QByteArray bytes = file.read(ConfigurationLoader::kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw Failure(FailureCode::DeviceIoError);
    if (bytes.size() > ConfigurationLoader::kMaxFileBytes)
        return std::nullopt;
    return bytes;
}

QString tooLargeText(const QString& operation, const QString& path, const QString& outcome)
{
    return QStringLiteral("A warning occured within %1, %2 holds more than %3 bytes (1 MB), more than any "
                          "configuration file: %4")
        .arg(operation, QFileInfo(path).fileName())
        .arg(ConfigurationLoader::kMaxFileBytes)
        .arg(outcome);
}

// "PARAM" (any case) and a number after it: PARAM2, param 3, PARAM-1. A word
// such as "Parameters" that merely starts like one is text.
bool isPlaceholder(const QString& item)
{
    if (!item.startsWith(QLatin1String("PARAM"), Qt::CaseInsensitive))
        return false;
    for (qsizetype i = 5; i < item.size(); ++i) {
        const QChar c = item.at(i);
        if (c.isDigit())
            return true;
        if (c != QLatin1Char(' ') && c != QLatin1Char('-') && c != QLatin1Char('+'))
            return false;
    }
    return false;
}

// Every "<CR>", in any letter case, becomes a line break, in one pass over
// the text (a line break never makes a new "<CR>").
QString withLineBreaks(const QString& text)
{
    const QLatin1String mark("<CR>");
    QString result;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(mark, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(mark, from, Qt::CaseInsensitive)) {
        if (result.isEmpty())
            result.reserve(text.size());
        result += QStringView(text).sliced(from, at - from);
        result += QLatin1String("\r\n");
        from = at + mark.size();
    }
    if (from == 0)
        return text;
    result += QStringView(text).sliced(from);
    return result;
}

}  // namespace

ConfigurationLoader::ConfigurationLoader(CommandTarget& target, int formIndex, int maxGroupExpansions)
    : m_target(target), m_formIndex(formIndex), m_maxExpansions(maxGroupExpansions)
{
}

QString ConfigurationLoader::configFileName(const QString& styleText, const QString& variantText)
{
    const std::int16_t style = textToInt16(styleText);
    const std::int16_t variant = textToInt16(variantText);
    const QString variantDigits = variant < 0 ? QLatin1Char('-') + QString::number(-static_cast<int>(variant)).rightJustified(4, QLatin1Char('0'))
                                              : QString::number(variant).rightJustified(4, QLatin1Char('0'));
    return QString::number(style) + QLatin1Char('-') + variantDigits + QStringLiteral(".cfg");
}

bool ConfigurationLoader::enterDiagnosticMode(const QString& styleText, const QString& variantText,
                                              const QString& folder)
{
    QString fileName;
    try {
        fileName = configFileName(styleText, variantText);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("EnterDiagnosticMode"),
                      QStringLiteral(" with FormIndex =") + QString::number(m_formIndex)
                          + QStringLiteral(", Filename=, NextLine="));
        return false;
    }
    return run(QDir(folder).filePath(fileName));
}

bool ConfigurationLoader::run(const QString& configFile)
{
    if (!QFileInfo(configFile).isFile())
        return false;
    m_configFile = configFile;
    m_groupFile = QFileInfo(configFile).dir().filePath(QStringLiteral("groups.grp"));
    QString nextLine;
    try {
        const std::optional<QByteArray> bytes = readBoundedFile(configFile);
        if (!bytes) {
            printError(tooLargeText(QStringLiteral("EnterDiagnosticMode"), configFile, QStringLiteral("it is not loaded")));
            return false;
        }
        config::forEachLine(config::decodeText(*bytes), [&](const QString& raw) {
            nextLine = config::stringTrim(raw);
            if (config::isCommentOrEmpty(nextLine))
                return;
            QStringList param = readLine(nextLine);
            if (!param.isEmpty())
                processCommand(nextLine, param);
        });
        m_target.setTabControlToFirst();
        return true;
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("EnterDiagnosticMode"),
                      QStringLiteral(" with FormIndex =") + QString::number(m_formIndex) + QStringLiteral(", Filename=")
                          + QFileInfo(configFile).fileName() + QStringLiteral(", NextLine=") + nextLine);
        return false;
    }
}

QStringList ConfigurationLoader::readLine(const QString& nextLine)
{
    try {
        return config::readConfigLine(nextLine);
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ReadConfigLine"),
                      QStringLiteral(" with FormIndex =") + QString::number(m_formIndex) + QStringLiteral(", NextLine=")
                          + nextLine + QStringLiteral(", ParamSize=32767"));
        return {};
    }
}

void ConfigurationLoader::processCommand(const QString& nextLine, QStringList& param)
{
    const int numParam = static_cast<int>(param.size());
    try {
        const QString word = param.at(0).toUpper();
        auto countWarning = [&](const char* text) {
            printError(kWarning + QString::fromLatin1(text) + QString::number(numParam - 1)
                       + QStringLiteral(" in config line ") + nextLine);
        };
        if (word == QLatin1String("MESSAGE")) {
            if (numParam != 2)
                return countWarning("MESSAGE requires 2 parameters, you provided ");
            m_target.setMessageText(withLineBreaks(param.at(1)));
        } else if (word == QLatin1String("FORM")) {
            if (numParam != 3)
                return countWarning("FORM requires 2 parameters, you provided ");
            double width = config::readNumber(param.at(1));
            double height = config::readNumber(param.at(2));
            if (width < kMinFormWidth)
                width = kMinFormWidth;
            if (height < kMinFormHeight)
                height = kMinFormHeight;
            m_target.setFormSize(toInt32(width), toInt32(height));
        } else if (word == QLatin1String("TAB")) {
            if (numParam != 2 && numParam != 6)
                return countWarning("TAB requires 2 or 6 parameters, you provided ");
            m_target.createTabControl(param, nextLine);
        } else if (word == QLatin1String("FRAME")) {
            if (numParam != 6)
                return countWarning("FRAME requires 6 parameters, you provided ");
            m_target.createFrameControl(param, nextLine);
        } else if (word == QLatin1String("LABEL")) {
            if (numParam != 6)
                return countWarning("LABEL requires 5 parameters, you provided ");
            m_target.createLabelControl(param, nextLine);
        } else if (word == QLatin1String("BIT")) {
            if (numParam != 11)
                return countWarning("Bit control requires 10 parameters, you provided ");
            m_target.createBitControl(param, nextLine);
        } else if (word == QLatin1String("BWLTEXT")) {
            if (numParam != 13)
                return countWarning("BWLTEXT requires 12 parameters, you provided ");
            m_target.createBWLTextControl(param, nextLine);
        } else if (word == QLatin1String("BFTEXT")) {
            if (numParam != 14)
                return countWarning("BFTEXT requires 13 parameters, you provided ");
            m_target.createBFTextControl(param, nextLine, false);
        } else if (word == QLatin1String("SBFTEXT")) {
            if (numParam != 14)
                return countWarning("SBFTEXT requires 13 parameters, you provided ");
            m_target.createBFTextControl(param, nextLine, true);
        } else if (word == QLatin1String("GROUP")) {
            if (numParam < 3)
                return countWarning("GROUP requires 3 or more parameters, you provided ");
            processGroupCommand(nextLine, param);
        } else if (numParam >= 2 && param.at(0).startsWith(QLatin1Char('.'))) {
            m_target.setAdditionalProperty(param, nextLine);
        } else {
            printError(kWarning + QStringLiteral("could not find a match  for ") + nextLine);
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ProcessCommand"),
                      QStringLiteral(" with FormIndex =") + QString::number(m_formIndex) + QStringLiteral(", NextLine=")
                          + nextLine + QStringLiteral(", ParamSize=") + QString::number(numParam + 1)
                          + QStringLiteral(", NumParam=") + QString::number(numParam));
    }
}

const std::optional<QList<ConfigurationLoader::Line>>& ConfigurationLoader::groupLines()
{
    // A group file that could not be read fails every GROUP line, each
    // reported where it stands.
    if (m_groupFailure)
        throw Failure(*m_groupFailure);
    if (m_groupsRead)
        return m_groups;
    m_groupsRead = true;
    // The group file is read once per load: edits show at the next entry into
    // diagnostic mode, and a file of many GROUP lines does not read it each time.
    if (!QFileInfo(m_groupFile).isFile())
        return m_groups;
    QList<Line> lines;
    std::optional<QByteArray> bytes;
    try {
        bytes = readBoundedFile(m_groupFile);
    } catch (const Failure& failure) {
        m_groupFailure = failure.code();
        throw;
    }
    if (!bytes) {
        // Said once; its GROUP lines then do nothing, as without a group file.
        printError(tooLargeText(QStringLiteral("ProcessGroupCommand"), m_groupFile, QStringLiteral("no group is used")));
        return m_groups;
    }
    config::forEachLine(config::decodeText(*bytes), [&](const QString& text) {
        Line line;
        line.cleaned = config::stringTrim(text);
        if (config::isCommentOrEmpty(line.cleaned))
            return;
        line.items = readLine(line.cleaned);
        if (line.items.isEmpty())
            return;
        line.command = line.items.at(0).toUpper();
        line.startsGroup = line.command == QLatin1String("STARTGROUP") && line.items.size() > 1;
        if (line.startsGroup)
            line.groupName = line.items.at(1).toUpper();
        lines.append(line);
    });
    m_groups = std::move(lines);
    return m_groups;
}

const ConfigurationLoader::GroupBody& ConfigurationLoader::groupBody(const QString& upperName)
{
    const auto known = m_bodies.constFind(upperName);
    if (known != m_bodies.cend())
        return *known;
    // A group runs from any STARTGROUP line naming it to the next ENDGROUP,
    // whatever other group that STARTGROUP line sits in; every such stretch
    // of the file belongs to it, in file order.
    GroupBody body;
    bool inGroup = false;
    const QList<Line>& lines = *m_groups;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line& line = lines.at(i);
        if (!inGroup) {
            inGroup = line.startsGroup && line.groupName == upperName;
            body.found |= inGroup;
            continue;
        }
        if (line.command == QLatin1String("ENDGROUP")) {
            inGroup = false;
            continue;
        }
        body.found = true;
        body.lines.append(i);
    }
    return *m_bodies.insert(upperName, std::move(body));
}

void ConfigurationLoader::processGroupCommand(const QString& nextLine, const QStringList& param)
{
    const int numParam = static_cast<int>(param.size());
    try {
        const auto& lines = groupLines();
        if (!lines)
            return;  // no group file: GROUP lines do nothing
        const QString name = param.at(1).toUpper();
        if (m_depth >= kMaxGroupDepth) {
            if (m_depthWarned)
                return;
            m_depthWarned = true;
            printError(QStringLiteral("A warning occured within ProcessGroupCommand, groups nest more than %1 deep, "
                                      "group %2 is not expanded in config line %3")
                           .arg(kMaxGroupDepth)
                           .arg(param.at(1), nextLine));
            return;
        }
        if (++m_expansions > m_maxExpansions) {
            if (!m_expansionWarned) {
                m_expansionWarned = true;
                printError(QStringLiteral("A warning occured within ProcessGroupCommand, more than %1 groups expanded "
                                          "in one file, group %2 and the groups after it are not expanded in config "
                                          "line %3")
                               .arg(m_maxExpansions)
                               .arg(param.at(1), nextLine));
            }
            return;
        }
        struct DepthGuard {
            int& depth;
            explicit DepthGuard(int& d) : depth(d) { ++depth; }
            ~DepthGuard() { --depth; }
        } guard(m_depth);

        // A copy: expanding the body may look up further groups, and the
        // table of bodies may move when they are added (the line list shares).
        const GroupBody body = groupBody(name);
        for (const qsizetype index : body.lines) {
            const Line& line = lines->at(index);
            QStringList items = line.items;
            for (qsizetype i = 1; i < items.size(); ++i) {
                if (!isPlaceholder(std::as_const(items).at(i)))
                    continue;  // read without copying the shared list
                const std::int16_t k = textToInt16(QStringView(items[i]).mid(5));
                if (k < 0)
                    throw Failure(FailureCode::SubscriptOutOfRange);
                if (k <= numParam - 1)
                    items[i] = param.at(k);
            }
            processCommand(line.cleaned, items);
        }
        if (!body.found) {
            printError(QStringLiteral("A warning occured within ProcessGroupCommand, could not find the group %1 in "
                                      "groups.grp in config line %2")
                           .arg(param.at(1), nextLine));
        }
    } catch (const Failure& failure) {
        reportFailure(failure, QStringLiteral("ProcessGroupCommand"), QStringLiteral(" with NextLine=") + nextLine);
    }
}

}  // namespace tellvane
