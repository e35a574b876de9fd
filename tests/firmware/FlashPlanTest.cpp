#include "firmware/FlashPlan.h"

#include "FirmwareFiles.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tellvane;
using namespace tellvane::firmware;

namespace {

QStringList texts(const std::vector<PlanError>& errors)
{
    QStringList list;
    for (const PlanError& e : errors)
        list.append(e.text());
    return list;
}

PlanReading read(const char* json)
{
    return readFlashPlan(QByteArray(json), QStringLiteral("/plans/line4"));
}

TEST(FlashPlan, ReadsBoardsByAddressOrBySerialWithTheirAreasAndFiles)
{
    const PlanReading reading = read(R"({
        "adapter": "virtualcan:can0",
        "boards": [
            { "address": 33, "areas": [ { "area": "pcode", "file": "app.QXP" } ] },
            { "address": "0x22", "flash": false,
              "areas": [ { "area": 0, "file": "../boot/b.QXB" }, { "area": "CONFIG", "file": "/abs/c.QXC" } ] },
            { "serial": "0x412", "pcode": "04120101", "flash": true,
              "areas": [ { "area": "3", "file": "sub\\site.QXC" }, { "area": 2, "file": ":/res.QXP" } ] },
            { "serial": 1073741823, "pcode": "13050012", "areas": [ { "area": "Sys", "file": "./s.QXS" } ] }
        ]
    })");
    ASSERT_TRUE(reading.ok()) << texts(reading.errors).join(QLatin1Char('\n')).toStdString();
    const FlashPlan& plan = reading.plan;
    ASSERT_EQ(plan.boards.size(), 4u);
    EXPECT_EQ(reading.named.size(), 4u);

    // A board by its address, flashed by default, an area by its word, a file
    // relative to the plan and the key paths are the batch report's golden file.
    const PlanBoard& second = plan.boards[1];
    EXPECT_EQ(second.address, 0x22);
    EXPECT_FALSE(second.flash);
    ASSERT_EQ(second.areas.size(), 2u);
    EXPECT_EQ(second.areas[0].areaId, QStringLiteral("0"));
    EXPECT_EQ(second.areas[0].file, QStringLiteral("/plans/boot/b.QXB"));
    EXPECT_EQ(second.areas[1].areaId, QStringLiteral("3"));
    EXPECT_EQ(second.areas[1].file, QStringLiteral("/abs/c.QXC")) << "absolute paths stay";

    const PlanBoard& third = plan.boards[2];
    EXPECT_FALSE(third.address.has_value());
    EXPECT_TRUE(third.bySerial());
    EXPECT_EQ(third.serial, 0x412u);
    EXPECT_EQ(third.pCode, QStringLiteral("04120101")) << "leading zeros kept";
    EXPECT_EQ(third.label(), QStringLiteral("serial 1042, P-code 04120101"));
    EXPECT_EQ(third.areas[0].file, QStringLiteral("/plans/line4/sub/site.QXC")) << "backslashes are folder separators";
    ASSERT_EQ(third.areas.size(), 2u);
    EXPECT_EQ(third.areas[1].file, QStringLiteral("/plans/line4/:/res.QXP")) << "never one of the program's own resources";

    EXPECT_EQ(plan.boards[3].serial, 1073741823u);
    EXPECT_EQ(plan.boards[3].areas[0].areaId, QStringLiteral("1"));
    EXPECT_EQ(plan.boards[3].areas[0].file, QStringLiteral("/plans/line4/s.QXS"));
}

struct BadPlan {
    const char* name;
    const char* json;
    QStringList errors;  // every error, exactly, in order
};

TEST(FlashPlan, RefusesEveryKindOfBadPlanNamingTheKeyPath)
{
    const std::vector<BadPlan> cases = {
        {"not JSON", "{ \"boards\": [\n  { \"address\": 33, }\n] }",
         {QStringLiteral("not JSON: object is missing after a comma at line 2, column 21")}},
        {"empty text", "", {QStringLiteral("not JSON: illegal value at line 1, column 1")}},
        {"a list at the top", "[]", {QStringLiteral("must be a JSON object with \"boards\", not a list")}},
        {"no boards", "{}", {QStringLiteral("boards: missing: the list of boards to load")}},
        {"boards not a list", R"({"boards": {"address": 33}})",
         {QStringLiteral("boards: must be a list of boards, not an object")}},
        {"no board in the list", R"({"boards": []})", {QStringLiteral("boards: is empty: a plan names at least one board")}},
        {"unknown keys", R"({"boards": [{"address": 33, "adress": 34, "areas": [{"area": 2, "file": "a", "crc": 1}]}], "speed": 9})",
         {QStringLiteral("speed: unknown key (here the keys are adapter, boards)"),
          QStringLiteral("boards[0].adress: unknown key (here the keys are address, serial, pcode, areas, flash)"),
          QStringLiteral("boards[0].areas[0].crc: unknown key (here the keys are area, file)")}},
        {"adapter not text", R"({"adapter": 5, "boards": [{"address": 33, "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("adapter: must be an adapter's name, not a number")}},
        {"board not an object", R"({"boards": [{"address": 33, "areas": [{"area": 2, "file": "a"}]}, "0x22"]})",
         {QStringLiteral("boards[1]: must be an object naming a board, not a string")}},
        {"address out of range, fraction, wrong type",
         R"({"boards": [{"address": 254, "areas": [{"area": 2, "file": "a"}]},
                        {"address": 3.5, "areas": [{"area": 2, "file": "a"}]},
                        {"address": "0x", "areas": [{"area": 2, "file": "a"}]},
                        {"address": true, "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("boards[0].address: must be a whole number from 0 to 253, not 254"),
          QStringLiteral("boards[1].address: must be a whole number from 0 to 253, not 3.5"),
          QStringLiteral("boards[2].address: must be a whole number from 0 to 253 (decimal, or hexadecimal after 0x), not \"0x\""),
          QStringLiteral("boards[3].address: must be a whole number from 0 to 253, not true or false")}},
        {"board named twice ways", R"({"boards": [{"address": 33, "serial": 7, "pcode": "12010003", "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("boards[0]: names its board both by \"address\" and by \"serial\" and \"pcode\": give one")}},
        {"board named no way", R"({"boards": [{"flash": true, "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("boards[0]: names no board: give \"address\", or \"serial\" and \"pcode\"")}},
        {"serial without P-code and the other way",
         R"({"boards": [{"serial": 7, "areas": [{"area": 2, "file": "a"}]}, {"pcode": "12010003", "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("boards[0].pcode: missing: a board named by its serial number needs its P-code too"),
          QStringLiteral("boards[1].serial: missing: a board named by its P-code needs its serial number too")}},
        {"bad serial and P-codes",
         R"({"boards": [{"serial": 1073741824, "pcode": 12010003, "areas": [{"area": 2, "file": "a"}]},
                        {"serial": -1, "pcode": "1201000", "areas": [{"area": 2, "file": "a"}]},
                        {"serial": null, "pcode": "1201000x", "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("boards[0].serial: must be a whole number from 0 to 1073741823, not 1073741824"),
          QStringLiteral("boards[0].pcode: must be the eight digits of the P-code as text (\"12010003\"), not a number"),
          QStringLiteral("boards[1].serial: must be a whole number from 0 to 1073741823, not -1"),
          QStringLiteral("boards[1].pcode: must be the eight digits of the P-code as text (\"12010003\"), not \"1201000\""),
          QStringLiteral("boards[2].serial: must be a whole number from 0 to 1073741823, not null"),
          QStringLiteral("boards[2].pcode: must be the eight digits of the P-code as text (\"12010003\"), not \"1201000x\"")}},
        {"flash not a switch", R"({"boards": [{"address": 33, "flash": "no", "areas": [{"area": 2, "file": "a"}]}]})",
         {QStringLiteral("boards[0].flash: must be true or false, not a string")}},
        {"areas missing, empty, not a list",
         R"({"boards": [{"address": 1}, {"address": 2, "areas": []}, {"address": 3, "areas": {"area": 2}}]})",
         {QStringLiteral("boards[0].areas: missing: the list of areas and files to load"),
          QStringLiteral("boards[1].areas: is empty: a board needs at least one area to load"),
          QStringLiteral("boards[2].areas: must be a list of areas and files, not an object")}},
        {"bad areas",
         R"({"boards": [{"address": 1, "areas": [7, {"file": "a"}, {"area": 4, "file": "a"}, {"area": "pcode:", "file": "a"},
                                               {"area": [2], "file": "a"}, {"area": 1.5, "file": "a"}]}]})",
         {QStringLiteral("boards[0].areas[0]: must be an object with \"area\" and \"file\", not a number"),
          QStringLiteral("boards[0].areas[1].area: missing: the memory area to load (0 to 3, boot, sys, pcode, config)"),
          QStringLiteral("boards[0].areas[2].area: must be 0, 1, 2, 3 or boot, sys, pcode, config, not \"4\""),
          QStringLiteral("boards[0].areas[3].area: must be 0, 1, 2, 3 or boot, sys, pcode, config, not \"pcode:\""),
          QStringLiteral("boards[0].areas[4].area: must be 0 to 3 or boot, sys, pcode, config, not a list"),
          QStringLiteral("boards[0].areas[5].area: must be 0, 1, 2, 3 or boot, sys, pcode, config, not \"1.5\"")}},
        {"bad files",
         R"({"boards": [{"address": 1, "areas": [{"area": 0}, {"area": 1, "file": ""}, {"area": 2, "file": 3}]}]})",
         {QStringLiteral("boards[0].areas[0].file: missing: the S-record file to load"),
          QStringLiteral("boards[0].areas[1].file: must be the name of an S-record file, not empty text"),
          QStringLiteral("boards[0].areas[2].file: must be the name of an S-record file, not a number")}},
        {"an area twice, by number and by word",
         R"({"boards": [{"address": 1, "areas": [{"area": 2, "file": "a"}, {"area": 0, "file": "b"}, {"area": "PCODE", "file": "c"}]}]})",
         {QStringLiteral("boards[0].areas[2].area: area 2 (\"pCode:\") is loaded by boards[0].areas[0] too")}},
        {"a board twice by address, decimal and hexadecimal",
         R"({"boards": [{"address": 33, "areas": [{"area": 2, "file": "a"}]}, {"address": 34, "areas": [{"area": 2, "file": "a"}]},
                        {"address": "0x21", "areas": [{"area": 3, "file": "a"}]}]})",
         {QStringLiteral("boards[2].address: the board of address 33 is named by boards[0] too")}},
        {"keys given twice at every level, one spelt with an escape",
         R"({"adapter": "a", "boards": [{"address": 33, "areas": [{"area": "pcode", "file": "app.QXP", "area": "boot"}],
                                          "addr\u0065ss": 34}], "adapter": "b", "adapter": "a"})",
         {QStringLiteral("boards[0].areas[0].area: given twice: give each key once"),
          QStringLiteral("boards[0].address: given twice: give each key once"),
          QStringLiteral("adapter: given 3 times: give each key once")}},
        {"a board twice by serial and P-code",
         R"({"boards": [{"serial": 7, "pcode": "12010003", "areas": [{"area": 2, "file": "a"}]},
                        {"serial": 7, "pcode": "12010004", "areas": [{"area": 2, "file": "a"}]},
                        {"serial": "7", "pcode": "12010003", "areas": [{"area": 3, "file": "a"}]}]})",
         {QStringLiteral("boards[2].serial: the board of serial 7, P-code 12010003 is named by boards[0] too")}},
    };
    for (const BadPlan& bad : cases) {
        const PlanReading reading = read(bad.json);
        EXPECT_FALSE(reading.ok()) << bad.name;
        EXPECT_EQ(texts(reading.errors), bad.errors) << bad.name;
        EXPECT_TRUE(reading.plan.boards.empty()) << bad.name << ": a refused plan holds no board";
    }
}

TEST(FlashPlan, TooLargeATextIsNoPlan)
{
    QByteArray huge = R"({"boards": [)";
    huge += QByteArray(kMaxPlanBytes, ' ');
    huge += "]}";
    const PlanReading reading = readFlashPlan(huge, QString());
    ASSERT_EQ(reading.errors.size(), 1u);
    EXPECT_TRUE(reading.errors[0].message.startsWith(QStringLiteral("is %1 bytes long").arg(huge.size())));
    EXPECT_EQ(reading.errors[0].text(), reading.errors[0].message) << "an error of the whole plan has no key path";
}

TEST(FlashPlan, EveryFileMustPassTheSRecordCheckBeforeAnythingIsSent)
{
    QTemporaryDir dir;
    const QByteArray good = test::firmware(3).text;
    test::writeFile(dir.filePath(QStringLiteral("good.QXP")), good);
    test::writeFile(dir.filePath(QStringLiteral("empty.QXC")), QByteArray());
    QByteArray corrupt = good;
    corrupt.replace("S1", "S5");
    test::writeFile(dir.filePath(QStringLiteral("corrupt.QXS")), corrupt);
    const QString plan = test::writeFile(dir.filePath(QStringLiteral("plan.json")), R"({"boards": [
        {"address": 33, "areas": [{"area": 2, "file": "good.QXP"}, {"area": 3, "file": "empty.QXC"}]},
        {"serial": 7, "pcode": "12010003", "areas": [{"area": 1, "file": "corrupt.QXS"}, {"area": 0, "file": "gone.QXB"}]}]})");

    const PlanReading reading = loadFlashPlan(plan);
    const QString folder = QDir::toNativeSeparators(dir.path());
    EXPECT_EQ(texts(reading.errors),
              (QStringList{QStringLiteral("boards[0].areas[1].file: %1/empty.QXC: Error, empty file found").arg(folder),
                           QStringLiteral("boards[1].areas[0].file: %1/corrupt.QXS: Error, corrupted S19 file format (line 2)").arg(folder),
                           QStringLiteral("boards[1].areas[1].file: %1/gone.QXB: Error, file not found").arg(folder)}));
    EXPECT_TRUE(reading.plan.boards.empty());
    ASSERT_EQ(reading.named.size(), 2u) << "a refused plan still names its boards";
    EXPECT_EQ(reading.named[1].label(), QStringLiteral("serial 7, P-code 12010003"));

    // An editor's byte-order mark before the plan is no part of it.
    test::writeFile(dir.filePath(QStringLiteral("plan2.json")), "\xEF\xBB\xBF" R"({"boards": [{"address": 33, "areas": [{"area": 2, "file": "good.QXP"}]}]})");
    const PlanReading fine = loadFlashPlan(dir.filePath(QStringLiteral("plan2.json")));
    ASSERT_TRUE(fine.ok()) << texts(fine.errors).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(fine.plan.boards.at(0).areas.at(0).file, dir.filePath(QStringLiteral("good.QXP")));

    const PlanReading none = loadFlashPlan(dir.filePath(QStringLiteral("no-plan.json")));
    ASSERT_EQ(none.errors.size(), 1u);
    EXPECT_TRUE(none.errors[0].text().startsWith(QStringLiteral("cannot be read: "))) << none.errors[0].text().toStdString();
    EXPECT_EQ(texts(loadFlashPlan(QString()).errors), QStringList{QStringLiteral("cannot be read: no file name given")});
    test::writeFile(dir.filePath(QStringLiteral("nul.json")), R"({"boards": [{"address": 33, "areas": [{"area": 2, "file": "good\u0000.QXP"}]}]})");
    EXPECT_EQ(texts(loadFlashPlan(dir.filePath(QStringLiteral("nul.json"))).errors),
              QStringList{QStringLiteral("boards[0].areas[0].file: holds a NUL character: no file has such a name")});
}

}  // namespace
