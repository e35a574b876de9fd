#pragma once

#include "Doubles.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace tellvane::test {

// A program run to its end: its exit code (-1 when it crashed or never
// started, and why in err) and what it printed.
struct Finished {
    int exitCode = -1;
    QString out;
    QString err;
};
Finished runProcess(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// Every message the adapter holds now, taken out of it.
std::vector<CanMessage> drainMessages(Adapter& adapter);

// Writes bytes to a file, creating folders; returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// Expects bytes to equal tests/golden/expected/NAME; with TELLVANE_UPDATE_GOLDEN
// set (tests/golden/regenerate.sh) writes them there instead.
void expectGolden(const QByteArray& actual, const QString& name);
// The bytes of tests/golden/input/NAME.
QByteArray goldenInput(const QString& name);

}  // namespace tellvane::test
