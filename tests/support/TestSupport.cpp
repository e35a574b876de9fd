#include "TestSupport.h"

#include "can/AdapterRecord.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace tellvane::test {

Finished runProcess(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Finished result;
    if (process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    else
        result.err = process.errorString() + QLatin1Char('\n');
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err += QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

std::vector<CanMessage> drainMessages(Adapter& adapter)
{
    std::vector<CanMessage> out;
    Adapter::Record r{};
    while (adapter.getCanMess(r) == 1)
        out.push_back(decodeRecord(r));
    return out;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray goldenInput(const QString& name)
{
    const QString path = QStringLiteral(TELLVANE_SOURCE_DIR "/tests/golden/input/") + name;
    EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    return readFile(path);
}

void expectGolden(const QByteArray& actual, const QString& name)
{
    const QString reference = QStringLiteral(TELLVANE_SOURCE_DIR "/tests/golden/expected/") + name;
    if (qEnvironmentVariableIsSet("TELLVANE_UPDATE_GOLDEN")) {
        writeFile(reference, actual);
        return;
    }
    ASSERT_TRUE(QFileInfo::exists(reference)) << "no reference " << name.toStdString() << "; run tests/golden/regenerate.sh";
    EXPECT_EQ(actual.toStdString(), readFile(reference).toStdString()) << name.toStdString();
}

}  // namespace tellvane::test
