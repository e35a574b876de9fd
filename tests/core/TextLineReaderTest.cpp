// The one splitter every text reader here uses. Each reader's own tests keep
// only what it adds: its records, messages, warnings and offsets.

#include "core/TextLineReader.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

struct Lines {
    QList<QByteArray> text;
    QList<qsizetype> tooLong = {};  // 1-based
    bool operator==(const Lines&) const = default;
};

// Every line, asking again while the reader pauses at the end of a slice.
Lines readAll(TextLineReader& reader, qint64 slice)
{
    Lines lines;
    std::string_view line;
    bool tooLong = false;
    reader.allow(slice);
    while (reader.next(line, tooLong) || reader.paused()) {
        if (reader.paused()) {
            reader.allow(slice);
            continue;
        }
        lines.text.append(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
        if (tooLong)
            lines.tooLong.append(lines.text.size());
        EXPECT_EQ(reader.lineNumber(), lines.text.size());
    }
    return lines;
}

TEST(TextLineReader, LineEndsMarksAndLimits)
{
    using S = TextLineReader::Start;
    constexpr qsizetype kNone = 1 << 20;
    const QByteArray bom = "\xEF\xBB\xBF";
    struct Case {
        QByteArray bytes;
        Lines lines;
        S start = S::AsIs;
        qsizetype limit = kNone;
    };
    const Case cases[] = {
        {"", {}},
        {"\r\n", {{""}}},
        {"a", {{"a"}}},
        {"a\r\n", {{"a"}}},
        {"a\nb", {{"a", "b"}}},
        {"a\rb\r", {{"a", "b"}}},
        {"a\r\n\r\nb\r\n", {{"a", "", "b"}}},
        {"a\n\rb", {{"a", "", "b"}}},  // LF then CR: two ends
        {"a\r\r\nb", {{"a", "", "b"}}},
        {"\r\r\n\n", {{"", "", ""}}},
        {bom + "a\r\nb", {{"a", "b"}}, S::SkipByteOrderMark},
        {bom + "a\r\nb", {{"a", "b"}}, S::TextOnly},
        {bom + "a\r\nb", {{bom + "a", "b"}}},
        {bom, {}, S::SkipByteOrderMark},
        // At the limit a line is whole; past it, cut and marked, its rest
        // and its ending passed over, a CR LF split or not.
        {"abc\r\nabcd\nab", {{"abc", "abc", "ab"}, {2}}, S::AsIs, 3},
        {"abcdefgh\r\n\r\nx\r", {{"abc", "", "x"}, {1}}, S::AsIs, 3},
        {"abcdefgh", {{"abc"}, {1}}, S::AsIs, 3},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toPercentEncoding().toStdString());
        TextLineReader fromFile;
        fromFile.setLineLimit(c.limit);
        ASSERT_TRUE(fromFile.open(test::writeFile(dir.filePath(QStringLiteral("t.txt")), c.bytes), c.start));
        EXPECT_EQ(readAll(fromFile, -1), c.lines);
        // From a device in blocks of one and three bytes, so that every line
        // end falls across two blocks; then in slices of two bytes, paused
        // inside lines and between a CR and its LF.
        for (const auto& [block, slice] : {std::pair<qint64, qint64>{1, -1}, {3, -1}, {3, 2}}) {
            SCOPED_TRACE(testing::Message() << "block " << block << ", slice " << slice);
            QByteArray copy = c.bytes;
            QBuffer buffer(&copy);
            ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
            TextLineReader fromDevice;
            fromDevice.setBlockBytes(block);
            ASSERT_TRUE(fromDevice.open(buffer, c.start));
            fromDevice.setLineLimit(c.limit, slice > 0 ? TextLineReader::Cut::StopsThere : TextLineReader::Cut::ReadsOn);
            EXPECT_EQ(readAll(fromDevice, slice), c.lines);
            EXPECT_EQ(fromDevice.error(), QFileDevice::NoError);
        }
        // Line by line as copies, as an S-record file is read.
        if (c.limit == kNone) {
            TextLineReader copies;
            ASSERT_TRUE(copies.open(dir.filePath(QStringLiteral("t.txt")), c.start));
            QList<QByteArray> lines;
            while (!copies.atEnd())
                lines.append(copies.readLine());
            EXPECT_EQ(lines, c.lines.text);
        }
    }
    TextLineReader reader;
    EXPECT_FALSE(reader.open(dir.filePath(QStringLiteral("none.txt"))));
}

}  // namespace
