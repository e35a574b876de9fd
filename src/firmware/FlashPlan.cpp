#include "firmware/FlashPlan.h"

#include "firmware/DownloadRules.h"
#include "firmware/FlashWords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>
#include <map>

namespace tellvane::firmware {

namespace {

constexpr NumberRange kSerialRange{0, 0x3FFFFFFF};

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("a list");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

QString join(const QString& path, const QString& key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

QString indexed(const QString& path, qsizetype index)
{
    return path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

// Line and column (from 1) of a byte offset, for JSON that does not parse.
QString placeOf(const QByteArray& text, int offset)
{
    int line = 1;
    int column = 1;
    for (int i = 0; i < offset && i < text.size(); ++i) {
        if (text.at(i) == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// The text of the JSON string whose opening quote is at `at`, its escapes
// undone; `at` is left on the closing quote. The text parsed as JSON already.
QString jsonString(const QByteArray& text, qsizetype& at)
{
    QString value;
    qsizetype run = ++at;  // the first byte after the quote
    auto takeRun = [&] { value += QString::fromUtf8(text.constData() + run, at - run); };
    while (at < text.size() && text.at(at) != '"') {
        if (text.at(at) != '\\') {
            ++at;
            continue;
        }
        takeRun();
        const char escaped = at + 1 < text.size() ? text.at(at + 1) : '\\';
        at += 2;
        switch (escaped) {
        case 'u': {
            value += QChar(static_cast<char16_t>(text.mid(at, 4).toUInt(nullptr, 16)));
            at += 4;
            break;
        }
        case 'b':
            value += QLatin1Char('\b');
            break;
        case 'f':
            value += QLatin1Char('\f');
            break;
        case 'n':
            value += QLatin1Char('\n');
            break;
        case 'r':
            value += QLatin1Char('\r');
            break;
        case 't':
            value += QLatin1Char('\t');
            break;
        default:  // " \\ /
            value += QLatin1Char(escaped);
            break;
        }
        run = at;
    }
    at = std::min(at, text.size());
    run = std::min(run, at);
    takeRun();
    return value;
}

// Keys given more than once in an object of a text that parsed as JSON, each
// at its key path, in the order of their second appearance; at most
// kMaxRepeatedKeys of them. QJsonDocument keeps the last value of such a key
// without a word, so the text itself is scanned: once, holding only the keys
// of the objects open, and a path is spelt out only for an error.
constexpr std::size_t kMaxRepeatedKeys = 50;

std::vector<PlanError> repeatedKeys(const QByteArray& text)
{
    struct Open {
        bool object = false;
        QString viaKey;          // where it sits in the object around it
        qsizetype viaIndex = 0;  // or in the list around it
        qsizetype index = 0;     // a list's entry being read
        QString key;             // an object's key being read
        bool keyNext = true;     // an object's next string is a key
        std::map<QString, std::pair<int, std::size_t>> keys;  // key -> times given, its error
    };
    std::vector<PlanError> errors;
    std::vector<Open> open;
    auto pathOfTop = [&] {
        QString path;
        for (std::size_t i = 1; i < open.size(); ++i)
            path = open[i - 1].object ? join(path, open[i].viaKey) : indexed(path, open[i].viaIndex);
        return path;
    };
    for (qsizetype at = 0; at < text.size() && errors.size() < kMaxRepeatedKeys; ++at) {
        switch (text.at(at)) {
        case '{':
        case '[': {
            Open& inner = open.emplace_back();
            inner.object = text.at(at) == '{';
            if (open.size() > 1) {
                inner.viaKey = open[open.size() - 2].key;
                inner.viaIndex = open[open.size() - 2].index;
            }
            break;
        }
        case '}':
        case ']':
            if (open.empty())
                break;
            for (const auto& [key, given] : open.back().keys) {
                if (given.first > 2)
                    errors[given.second].message = QStringLiteral("given %1 times: give each key once").arg(given.first);
            }
            open.pop_back();
            break;
        case ',':
            if (!open.empty()) {
                ++open.back().index;
                open.back().keyNext = true;
            }
            break;
        case '"': {
            const QString value = jsonString(text, at);
            if (open.empty() || !open.back().object || !open.back().keyNext)
                break;
            Open& o = open.back();
            o.key = value;
            o.keyNext = false;
            auto& given = o.keys[value];
            if (++given.first == 2) {
                given.second = errors.size();
                errors.push_back({join(pathOfTop(), value), QStringLiteral("given twice: give each key once")});
            }
            break;
        }
        default:
            break;
        }
    }
    return errors;
}

class Reader {
public:
    Reader(std::vector<PlanError>& errors, QString folder) : m_errors(errors), m_folder(std::move(folder)) {}

    void error(const QString& path, const QString& message) { m_errors.push_back({path, message}); }

    // Refuses keys an object does not take.
    void onlyKeys(const QJsonObject& object, const QString& path, const QStringList& keys)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!keys.contains(it.key()))
                error(join(path, it.key()), QStringLiteral("unknown key (here the keys are %1)").arg(keys.join(QStringLiteral(", "))));
        }
    }

    // A whole number in range, given as a number or as text ("0x21", "33").
    std::optional<qint64> wholeValue(const QJsonValue& value, const QString& path, NumberRange range)
    {
        const QString rangeText = QStringLiteral("a whole number from %1 to %2").arg(range.min).arg(range.max);
        if (value.isDouble()) {
            const double d = value.toDouble();
            if (std::floor(d) == d && d >= static_cast<double>(range.min) && d <= static_cast<double>(range.max))
                return static_cast<qint64>(d);
            error(path, QStringLiteral("must be %1, not %2").arg(rangeText, QString::number(d, 'g', 17)));
            return std::nullopt;
        }
        if (value.isString()) {
            if (const auto n = wholeNumber(value.toString(), range))
                return n;
            error(path, QStringLiteral("must be %1 (decimal, or hexadecimal after 0x), not \"%2\"")
                            .arg(rangeText, value.toString()));
            return std::nullopt;
        }
        error(path, QStringLiteral("must be %1, not %2").arg(rangeText, typeName(value)));
        return std::nullopt;
    }

    std::optional<PlanArea> area(const QJsonValue& value, const QString& path)
    {
        if (!value.isObject()) {
            error(path, QStringLiteral("must be an object with \"area\" and \"file\", not %1").arg(typeName(value)));
            return std::nullopt;
        }
        const QJsonObject object = value.toObject();
        onlyKeys(object, path, {QStringLiteral("area"), QStringLiteral("file")});
        PlanArea result;
        result.path = path;
        bool ok = true;
        const QJsonValue areaValue = object.value(QLatin1String("area"));
        const QString areaPath = join(path, QStringLiteral("area"));
        if (areaValue.isUndefined()) {
            error(areaPath, QStringLiteral("missing: the memory area to load (0 to 3, boot, sys, pcode, config)"));
            ok = false;
        } else if (areaValue.isDouble() || areaValue.isString()) {
            const QString word = areaValue.isDouble() ? QString::number(areaValue.toDouble(), 'g', 17) : areaValue.toString();
            result.areaId = areaIdOfWord(word);
            if (result.areaId.isEmpty()) {
                error(areaPath, QStringLiteral("must be 0, 1, 2, 3 or boot, sys, pcode, config, not \"%1\"").arg(word));
                ok = false;
            }
        } else {
            error(areaPath, QStringLiteral("must be 0 to 3 or boot, sys, pcode, config, not %1").arg(typeName(areaValue)));
            ok = false;
        }
        const QJsonValue fileValue = object.value(QLatin1String("file"));
        const QString filePath = join(path, QStringLiteral("file"));
        if (fileValue.isUndefined()) {
            error(filePath, QStringLiteral("missing: the S-record file to load"));
            ok = false;
        } else if (!fileValue.isString() || fileValue.toString().isEmpty()) {
            error(filePath, QStringLiteral("must be the name of an S-record file, not %1")
                                .arg(fileValue.isString() ? QStringLiteral("empty text") : typeName(fileValue)));
            ok = false;
        } else if (fileValue.toString().contains(QChar(0))) {
            error(filePath, QStringLiteral("holds a NUL character: no file has such a name"));
            ok = false;
        } else {
            // Plans are written on Windows too: a backslash separates folders.
            const QString name = QString(fileValue.toString()).replace(QLatin1Char('\\'), QLatin1Char('/'));
            // Only a path from the root is taken as it stands: Qt would read a
            // name starting with ":" from the program's own resources.
            result.file = QDir::cleanPath(name.startsWith(QLatin1Char('/')) ? name : m_folder + QLatin1Char('/') + name);
        }
        return ok ? std::optional<PlanArea>(result) : std::nullopt;
    }

    // The board of an entry into result, as far as it can be read; false when
    // the entry has errors.
    bool board(const QJsonValue& value, const QString& path, PlanBoard& result)
    {
        result.path = path;
        if (!value.isObject()) {
            error(path, QStringLiteral("must be an object naming a board, not %1").arg(typeName(value)));
            return false;
        }
        const QJsonObject object = value.toObject();
        onlyKeys(object, path,
                 {QStringLiteral("address"), QStringLiteral("serial"), QStringLiteral("pcode"), QStringLiteral("areas"),
                  QStringLiteral("flash")});
        const std::size_t errorsBefore = m_errors.size();

        const bool hasAddress = object.contains(QLatin1String("address"));
        const bool hasSerial = object.contains(QLatin1String("serial"));
        const bool hasPCode = object.contains(QLatin1String("pcode"));
        if (hasAddress && (hasSerial || hasPCode)) {
            error(path, QStringLiteral("names its board both by \"address\" and by \"serial\" and \"pcode\": give one"));
        } else if (hasAddress) {
            if (const auto a = wholeValue(object.value(QLatin1String("address")), join(path, QStringLiteral("address")),
                                          kBoardAddressRange))
                result.address = static_cast<int>(*a);
        } else if (hasSerial || hasPCode) {
            if (!hasPCode)
                error(join(path, QStringLiteral("pcode")), QStringLiteral("missing: a board named by its serial number "
                                                                          "needs its P-code too"));
            if (!hasSerial)
                error(join(path, QStringLiteral("serial")), QStringLiteral("missing: a board named by its P-code needs "
                                                                           "its serial number too"));
            if (hasSerial) {
                if (const auto s = wholeValue(object.value(QLatin1String("serial")), join(path, QStringLiteral("serial")),
                                              kSerialRange))
                    result.serial = static_cast<std::uint32_t>(*s);
            }
            if (hasPCode) {
                const QJsonValue p = object.value(QLatin1String("pcode"));
                const QString text = p.toString();
                bool digits = p.isString() && text.size() == 8;
                for (const QChar c : text)
                    digits = digits && c >= u'0' && c <= u'9';
                if (digits)
                    result.pCode = text;
                else
                    error(join(path, QStringLiteral("pcode")),
                          QStringLiteral("must be the eight digits of the P-code as text (\"12010003\"), not %1")
                              .arg(p.isString() ? QLatin1Char('"') + text + QLatin1Char('"') : typeName(p)));
            }
        } else {
            error(path, QStringLiteral("names no board: give \"address\", or \"serial\" and \"pcode\""));
        }

        if (object.contains(QLatin1String("flash"))) {
            const QJsonValue f = object.value(QLatin1String("flash"));
            if (f.isBool())
                result.flash = f.toBool();
            else
                error(join(path, QStringLiteral("flash")), QStringLiteral("must be true or false, not %1").arg(typeName(f)));
        }

        const QString areasPath = join(path, QStringLiteral("areas"));
        const QJsonValue areas = object.value(QLatin1String("areas"));
        if (areas.isUndefined()) {
            error(areasPath, QStringLiteral("missing: the list of areas and files to load"));
        } else if (!areas.isArray()) {
            error(areasPath, QStringLiteral("must be a list of areas and files, not %1").arg(typeName(areas)));
        } else if (areas.toArray().isEmpty()) {
            error(areasPath, QStringLiteral("is empty: a board needs at least one area to load"));
        } else {
            const QJsonArray list = areas.toArray();
            std::map<QString, QString> seen;  // area ID -> where it was first named
            for (qsizetype i = 0; i < list.size(); ++i) {
                const QString areaPath = indexed(areasPath, i);
                std::optional<PlanArea> a = area(list.at(i), areaPath);
                if (!a)
                    continue;
                const auto [it, inserted] = seen.emplace(a->areaId, areaPath);
                if (!inserted) {
                    error(join(areaPath, QStringLiteral("area")),
                          QStringLiteral("area %1 (\"%2\") is loaded by %3 too")
                              .arg(a->areaId, areaKeyword(a->areaId), it->second));
                    continue;
                }
                result.areas.push_back(*a);
            }
        }
        return m_errors.size() == errorsBefore;
    }

private:
    std::vector<PlanError>& m_errors;
    QString m_folder;
};

}  // namespace

QString PlanBoard::label() const
{
    if (address)
        return QStringLiteral("address %1").arg(*address);
    return QStringLiteral("serial %1, P-code %2").arg(serial.value_or(0)).arg(pCode);
}

QString PlanError::text() const
{
    return path.isEmpty() ? message : path + QStringLiteral(": ") + message;
}

PlanReading readFlashPlan(const QByteArray& text, const QString& planFolder)
{
    PlanReading reading;
    Reader reader(reading.errors, planFolder);
    if (text.size() > kMaxPlanBytes) {
        reader.error({}, QStringLiteral("is %1 bytes long: a plan is at most %2").arg(text.size()).arg(kMaxPlanBytes));
        return reading;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        reader.error({}, QStringLiteral("not JSON: %1 at %2").arg(parseError.errorString(), placeOf(text, parseError.offset)));
        return reading;
    }
    if (!document.isObject()) {
        reader.error({}, QStringLiteral("must be a JSON object with \"boards\", not %1")
                             .arg(document.isArray() ? QStringLiteral("a list") : QStringLiteral("a single value")));
        return reading;
    }
    reading.errors = repeatedKeys(text);
    const QJsonObject root = document.object();
    reader.onlyKeys(root, {}, {QStringLiteral("adapter"), QStringLiteral("boards")});
    if (root.contains(QLatin1String("adapter"))) {
        const QJsonValue adapter = root.value(QLatin1String("adapter"));
        if (adapter.isString() && !adapter.toString().isEmpty())
            reading.plan.adapter = adapter.toString();
        else
            reader.error(QStringLiteral("adapter"), QStringLiteral("must be an adapter's name, not %1")
                                                        .arg(adapter.isString() ? QStringLiteral("empty text") : typeName(adapter)));
    }
    const QJsonValue boards = root.value(QLatin1String("boards"));
    const QString boardsPath = QStringLiteral("boards");
    if (boards.isUndefined()) {
        reader.error(boardsPath, QStringLiteral("missing: the list of boards to load"));
    } else if (!boards.isArray()) {
        reader.error(boardsPath, QStringLiteral("must be a list of boards, not %1").arg(typeName(boards)));
    } else if (boards.toArray().isEmpty()) {
        reader.error(boardsPath, QStringLiteral("is empty: a plan names at least one board"));
    } else {
        const QJsonArray list = boards.toArray();
        std::map<int, QString> byAddress;
        std::map<std::pair<std::uint32_t, QString>, QString> bySerial;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QString path = indexed(boardsPath, i);
            PlanBoard& board = reading.named.emplace_back();
            if (!reader.board(list.at(i), path, board))
                continue;
            const QString first = board.address ? byAddress.emplace(*board.address, path).first->second
                                                : bySerial.emplace(std::pair(*board.serial, board.pCode), path).first->second;
            if (first != path) {
                reader.error(join(path, board.address ? QStringLiteral("address") : QStringLiteral("serial")),
                             QStringLiteral("the board of %1 is named by %2 too").arg(board.label(), first));
                continue;
            }
            reading.plan.boards.push_back(board);
        }
    }
    if (!reading.ok())
        reading.plan = {};
    return reading;
}

std::vector<PlanError> checkPlanFiles(const FlashPlan& plan)
{
    std::vector<PlanError> errors;
    for (const PlanBoard& board : plan.boards) {
        for (const PlanArea& area : board.areas) {
            int badLine = 0;
            const int checked = firmware::checkS19File(area.file, &badLine);
            if (checked < 0) {
                errors.push_back({join(area.path, QStringLiteral("file")),
                                  QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(area.file),
                                                               firmware::fileCheckMessage(checked, badLine))});
            }
        }
    }
    return errors;
}

PlanReading loadFlashPlan(const QString& fileName)
{
    auto unread = [](const QString& why) {
        PlanReading reading;
        reading.errors.push_back({{}, QStringLiteral("cannot be read: %1").arg(why)});
        return reading;
    };
    // Qt warns on the console of a file without a name.
    if (fileName.isEmpty())
        return unread(QStringLiteral("no file name given"));
    if (fileName.contains(QChar(0)))
        return unread(QStringLiteral("the name holds a NUL character"));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return unread(file.errorString());
    // One byte more than a plan may hold tells a plan from something too large.
    QByteArray text = file.read(kMaxPlanBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return unread(file.errorString());
    // An editor's UTF-8 byte-order mark is no part of the plan.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    PlanReading reading = readFlashPlan(text, QFileInfo(fileName).absolutePath());
    if (reading.ok()) {
        reading.errors = checkPlanFiles(reading.plan);
        if (!reading.ok())
            reading.plan = {};
    }
    return reading;
}

}  // namespace tellvane::firmware
