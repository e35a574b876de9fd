// Golden files: each tests/golden/input/NAME.cfg is loaded as entering
// diagnostic mode loads it (with groups.grp beside it), and what was built and
// reported must equal tests/golden/expected/NAME.txt. After a deliberate
// change, tests/golden/regenerate.sh writes the references anew.

#include "diagnostics/ConfigCheck.h"

#include "TestSupport.h"

#include <QDir>
#include <QLocale>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

const QString kInput = QStringLiteral(TELLVANE_SOURCE_DIR "/tests/golden/input");

// One line of the reference: control characters spelled out, very long lines cut in the middle.
QString printable(QString line)
{
    QString out;
    for (QChar c : line) {
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (out.size() > 300)
        out = out.left(150) + QStringLiteral(" ... ") + out.right(100) + QStringLiteral(" (%1 characters)").arg(out.size());
    return out;
}

QString render(const QString& name)
{
    const ConfigCheck check = checkConfiguration(QDir(kInput).filePath(name + QStringLiteral(".cfg")));
    QStringList out;
    out.append(QStringLiteral("# screen"));
    for (const QString& line : check.dump)
        out.append(printable(line));
    if (check.formWidth > 0)
        out.append(QStringLiteral("# window %1 x %2").arg(check.formWidth).arg(check.formHeight));
    if (!check.messageText.isEmpty()) {
        QString message = check.messageText;
        message.replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
        out.append(QStringLiteral("# message ") + message);
    }
    out.append(QStringLiteral("# error list"));
    for (const QString& m : check.messages)
        out.append(printable(m));
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

class Golden : public ::testing::TestWithParam<QString> {};

TEST_P(Golden, ScreenAndMessagesAsRecorded)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    const QString name = GetParam();
    const QString actual = render(name);
    QLocale::setDefault(saved);
    test::expectGolden(actual.toUtf8(), name + QStringLiteral(".txt"));
}

QStringList goldenNames()
{
    QStringList names;
    const QStringList files = QDir(kInput).entryList({QStringLiteral("*.cfg")}, QDir::Files, QDir::Name);
    for (const QString& f : files)
        names.append(f.chopped(4));
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, Golden, ::testing::ValuesIn(goldenNames()),
                         [](const ::testing::TestParamInfo<QString>& info) {
                             QString n = info.param;
                             n.replace(QLatin1Char('-'), QLatin1Char('_'));
                             return n.toStdString();
                         });

}  // namespace
