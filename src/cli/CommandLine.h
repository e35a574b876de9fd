#pragma once

#include "firmware/FlashWords.h"

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

// The ranges of the numbers only the commands take.
inline constexpr firmware::NumberRange kCountRange{1, 2147483647};
inline constexpr firmware::NumberRange kSecondsRange{1, 31536000};  // a year

// A numeric option: none and no error when it was not given; none and a
// message naming the option and its range when its value does not fit.
struct NumberOption {
    std::optional<qint64> value;
    QString error;
    bool ok() const { return error.isEmpty(); }
};
NumberOption numberOption(const QCommandLineParser& options, const QString& name, firmware::NumberRange range);
// --board, which also explains why 254 is refused.
NumberOption boardAddressOption(const QCommandLineParser& options);

}  // namespace tellvane::cli
