#include "Doubles.h"

#include "core/ErrorReporting.h"

namespace tellvane::test {

ErrorCollector::ErrorCollector()
{
    installErrorSink([this](const QString& message) { messages.append(message); });
}

ErrorCollector::~ErrorCollector()
{
    installErrorSink({});
}

std::string ErrorCollector::firstError() const
{
    return messages.isEmpty() ? std::string() : messages.first().toStdString();
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

}  // namespace tellvane::test
