// Plans for tellvane-cli flash --plan are written by hand: any text must give
// a plan or errors, never a crash. A plan it accepts names at least one
// board, each once, by an address in range or by a serial number and an
// eight-digit P-code, with at least one area, each once, and an absolute file
// for each; written out again as JSON it reads back the same, and with a key
// given twice it is refused. Every error has a message; a refused plan still
// names each entry of its boards.

#include "FuzzSupport.h"

#include "firmware/FlashPlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <set>

using namespace tellvane;
using namespace tellvane::firmware;

namespace {

QByteArray written(const FlashPlan& plan)
{
    QJsonArray boards;
    for (const PlanBoard& b : plan.boards) {
        QJsonObject board;
        if (b.address)
            board.insert(QStringLiteral("address"), *b.address);
        else {
            board.insert(QStringLiteral("serial"), static_cast<qint64>(*b.serial));
            board.insert(QStringLiteral("pcode"), b.pCode);
        }
        board.insert(QStringLiteral("flash"), b.flash);
        QJsonArray areas;
        for (const PlanArea& a : b.areas)
            areas.append(QJsonObject{{QStringLiteral("area"), a.areaId}, {QStringLiteral("file"), a.file}});
        board.insert(QStringLiteral("areas"), areas);
        boards.append(board);
    }
    QJsonObject root{{QStringLiteral("boards"), boards}};
    if (!plan.adapter.isEmpty())
        root.insert(QStringLiteral("adapter"), plan.adapter);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PlanReading reading = readFlashPlan(text, QStringLiteral("/plans"));
    FUZZ_CHECK(reading.ok() == reading.errors.empty());
    for (const PlanError& e : reading.errors)
        FUZZ_CHECK(!e.message.isEmpty() && e.text().endsWith(e.message));
    for (std::size_t i = 0; i < reading.named.size(); ++i)
        FUZZ_CHECK(reading.named[i].path == QStringLiteral("boards[%1]").arg(i));
    if (!reading.ok()) {
        FUZZ_CHECK(reading.plan.boards.empty());
        return 0;
    }
    const FlashPlan& plan = reading.plan;
    FUZZ_CHECK(!plan.boards.empty());
    FUZZ_CHECK(reading.named.size() == plan.boards.size());
    std::set<int> addresses;
    std::set<std::pair<std::uint32_t, QString>> serials;
    for (std::size_t i = 0; i < plan.boards.size(); ++i) {
        const PlanBoard& b = plan.boards[i];
        FUZZ_CHECK(b.path == QStringLiteral("boards[%1]").arg(i));
        FUZZ_CHECK(b.address.has_value() != b.serial.has_value());
        if (b.address) {
            FUZZ_CHECK(*b.address >= 0 && *b.address <= 253);
            FUZZ_CHECK(addresses.insert(*b.address).second);
        } else {
            FUZZ_CHECK(*b.serial <= 0x3FFFFFFFu);
            FUZZ_CHECK(b.pCode.size() == 8);
            for (const QChar c : b.pCode)
                FUZZ_CHECK(c >= u'0' && c <= u'9');
            FUZZ_CHECK(serials.insert({*b.serial, b.pCode}).second);
        }
        FUZZ_CHECK(!b.areas.empty());
        std::set<QString> areas;
        for (const PlanArea& a : b.areas) {
            FUZZ_CHECK(a.areaId.size() == 1 && a.areaId[0] >= u'0' && a.areaId[0] <= u'3');
            FUZZ_CHECK(areas.insert(a.areaId).second);
            FUZZ_CHECK(a.file.startsWith(QLatin1Char('/')));
        }
    }

    const PlanReading again = readFlashPlan(written(plan), QStringLiteral("/elsewhere"));
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.plan.adapter == plan.adapter);
    FUZZ_CHECK(again.plan.boards.size() == plan.boards.size());
    for (std::size_t i = 0; i < plan.boards.size(); ++i) {
        const PlanBoard& a = plan.boards[i];
        const PlanBoard& b = again.plan.boards[i];
        FUZZ_CHECK(a.address == b.address && a.serial == b.serial && a.pCode == b.pCode && a.flash == b.flash);
        FUZZ_CHECK(a.areas.size() == b.areas.size());
        for (std::size_t j = 0; j < a.areas.size(); ++j)
            FUZZ_CHECK(a.areas[j].areaId == b.areas[j].areaId && a.areas[j].file == b.areas[j].file);
    }

    QByteArray twice = written(plan);
    twice.insert(1, R"("boards":0,)");
    const PlanReading doubled = readFlashPlan(twice, QStringLiteral("/elsewhere"));
    FUZZ_CHECK(doubled.errors.size() == 1
               && doubled.errors.front().text() == QStringLiteral("boards: given twice: give each key once"));
    return 0;
}
