#include "TestSupport.h"

#include "core/ErrorReporting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace tellvane::test {

ErrorCollector::ErrorCollector()
{
    installErrorSink([this](const QString& message) { messages.append(message); });
}

ErrorCollector::~ErrorCollector()
{
    installErrorSink({});
}

QString FakeDialogs::openFileName(const QString&, const QString& folder, const QString& filter)
{
    openCalls.append(folder);
    lastFilter = filter;
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString FakeDialogs::saveFileName(const QString&, const QString& folder, const QString& filter)
{
    saveCalls.append(folder);
    lastFilter = filter;
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

bool FakeDialogs::question(const QString& title, const QString& text)
{
    questions.push_back({title, text});
    if (questionAnswers.empty())
        return false;
    const bool answer = questionAnswers.front();
    questionAnswers.erase(questionAnswers.begin());
    return answer;
}

CanMessage makeMessage(std::int32_t id, std::initializer_list<std::uint8_t> bytes, double time)
{
    CanMessage m;
    m.id = id;
    m.time = time;
    for (std::uint8_t b : bytes) {
        if (m.length < 8)
            m.data[m.length++] = b;
    }
    return m;
}

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

}  // namespace tellvane::test
