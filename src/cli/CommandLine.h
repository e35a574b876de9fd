#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTextStream>

#include <optional>

namespace tellvane::cli {

// A command of tellvane-cli: what its parser and its --help know, and what it
// does with the options given (the exit code).
struct Command {
    QString name;         // what is typed: "flash"
    QString description;  // one line
    QString usage;        // printed above a refusal
    QList<QCommandLineOption> options;  // with a value name: "--board 33" or "--board=33"
    QString arguments = {};  // the positional arguments ("FILE"); empty when there are none
    QString argumentsHelp = {};
    QString helpEnd = {};  // what --help shows after the options (the exit codes)
    int (*run)(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err) = nullptr;
};

// Reads the arguments after a command's name, with --help (-h) besides the
// command's options; false, with Qt's text in errorText(), when they do not fit.
bool parseCommand(QCommandLineParser& parser, const Command& command, const QStringList& args);
bool helpAsked(const QCommandLineParser& parser);

// The ranges of the numbers the commands take.
struct NumberRange {
    qint64 min;
    qint64 max;
};
// Bus addresses a board can be flashed at; 254 marks boards in address conflict.
inline constexpr NumberRange kBoardAddressRange{0, 253};
inline constexpr qint64 kConflictAddress = 254;
inline constexpr NumberRange kCountRange{1, 2147483647};
inline constexpr NumberRange kSecondsRange{1, 31536000};  // a year

// A whole number exactly as typed: decimal digits ("033" is 33, never octal),
// or "0x" / "0X" and hexadecimal digits. No sign, no blanks, no fraction.
// None when the text is anything else or the value lies outside the range.
std::optional<qint64> wholeNumber(QStringView text, NumberRange range);

// A numeric option: none and no error when it was not given; none and a
// message naming the option and its range when its value does not fit.
struct NumberOption {
    std::optional<qint64> value;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
NumberOption numberOption(const QCommandLineParser& options, const QString& name, NumberRange range);
// --board, which also explains why 254 is refused.
NumberOption boardAddressOption(const QCommandLineParser& options);

// The memory area a word of --area names: "0" to "3", or "boot", "sys",
// "pcode", "config" in any letter case (ASCII only), as the area IDs "0" to
// "3"; empty for anything else.
QString areaIdOfWord(QStringView word);
// The message for a word that names no area.
QString areaWordError(const QString& word);
// The keyword of an area's information line ("Boot:", ... "Config:"); empty
// for an unknown ID.
QString areaKeyword(const QString& areaId);

// The row of the board's information lines that holds the area: the first
// line whose area (firmware::areaOfLine) is that ID; -1 when none is.
int areaLine(const QStringList& info, const QString& areaId);

}  // namespace tellvane::cli
