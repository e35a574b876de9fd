#include "core/ErrorLines.h"
#include "core/ErrorReporting.h"
#include "core/Failure.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

QString chars(int n, char first = 'a')
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QChar(first + i % 26);
    return s;
}

TEST(ErrorLines, SplitsAtSixtyFiveWithContinuationMarks)
{
    struct Case {
        int length;
        std::vector<int> lineLengths;  // without the "-->" marks
    };
    const Case cases[] = {
        {0, {0}},          {1, {1}},           {65, {65}},          {66, {65, 1}},      {70, {65, 5}},
        {140, {65, 75}},   {141, {65, 65, 11}}, {205, {65, 65, 75}}, {206, {65, 65, 65, 11}},
    };
    for (const Case& c : cases) {
        const QString message = chars(c.length);
        const QStringList lines = splitErrorMessage(message);
        ASSERT_EQ(static_cast<std::size_t>(lines.size()), c.lineLengths.size()) << c.length;
        QString joined;
        for (int i = 0; i < lines.size(); ++i) {
            QString line = lines[i];
            if (i > 0) {
                EXPECT_TRUE(line.startsWith(QStringLiteral("-->"))) << c.length;
                line = line.mid(3);
            }
            EXPECT_EQ(line.size(), c.lineLengths[static_cast<std::size_t>(i)]) << c.length << " line " << i;
            joined += line;
        }
        EXPECT_EQ(joined, message) << "no character is lost or added";
    }
}

// The texts of unexpected errors are checked where they are reported: the
// board directory, the link, the help window and the golden screens.
TEST(ErrorReporting, CatalogueHasDistinctNumbersAndDescriptions)
{
    const FailureCode all[] = {FailureCode::Overflow,        FailureCode::SubscriptOutOfRange,
                               FailureCode::TypeMismatch,    FailureCode::BadFileNameOrNumber,
                               FailureCode::FileNotFound,    FailureCode::DeviceIoError,
                               FailureCode::DiskFull,        FailureCode::PermissionDenied,
                               FailureCode::PathNotFound,    FailureCode::InvalidPropertyValue,
                               FailureCode::PropertyNotSupported};
    QStringList seen;
    for (FailureCode code : all) {
        const QString d = failureDescription(code);
        EXPECT_FALSE(d.isEmpty());
        EXPECT_FALSE(seen.contains(d)) << d.toStdString();
        seen.append(d);
    }
}

TEST(ErrorReporting, ReportsGoToTheInstalledSink)
{
    test::ErrorCollector errors;
    reportFailure(Failure(FailureCode::DiskFull), QStringLiteral("WriteLogLine"), QStringLiteral(" now"));
    printError(QString());
    ASSERT_EQ(errors.messages.size(), 2);
    EXPECT_EQ(errors.messages[0], QStringLiteral("An unexpected error 61'Disk full' occured within WriteLogLine now"));
    EXPECT_TRUE(errors.messages[1].isEmpty());
}

}  // namespace
