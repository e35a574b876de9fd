// What the downloader reads from outside: the board's information reply (any
// bytes the board sends) and the S-record file the user picks. Neither may
// crash it; the file check gives a line count or one of its codes.

#include "FuzzSupport.h"

#include "core/SRecord.h"
#include "firmware/DownloadRules.h"

#include <QBuffer>

#include <cstdint>

using namespace tellvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // As a reply of the board.
    const firmware::ReplyLines reply = firmware::replyLines(QString::fromLatin1(bytes));
    for (const QString& line : reply.lines) {
        FUZZ_CHECK(!line.isEmpty() && !line.contains(QLatin1Char('\r')));
        if (line.contains(QLatin1String("Board:")))
            (void)firmware::passwordFromBoardLine(line);
        const QString area = firmware::areaOfLine(line);
        FUZZ_CHECK(area.isEmpty() || (area.size() == 1 && area.at(0) >= QLatin1Char('0') && area.at(0) <= QLatin1Char('3')));
    }

    // As S-record lines.
    for (const QByteArray& line : bytes.split('\n')) {
        const SRecord r = parseSRecord(line.trimmed());
        if (r.valid)
            FUZZ_CHECK(parseSRecord(makeSRecord(r.type, r.address, r.data)).data == r.data);
    }

    // As a file to download (what the file check reads, without the disk).
    QBuffer buffer;
    buffer.setData(bytes);
    FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
    int badLine = 0;
    const int lines = firmware::checkS19Device(buffer, &badLine);
    FUZZ_CHECK(lines > 0 || lines == firmware::kEmptyFile || lines == firmware::kCorruptFile);
    FUZZ_CHECK((lines == firmware::kCorruptFile) == (badLine > 0));
    FUZZ_CHECK(size > 0 || lines == firmware::kEmptyFile);
    return 0;
}
