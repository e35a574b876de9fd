// tellvane-cli decode: a log's frames with the signals the databases give them.
//
// The text form writes each frame's line as it is read. The CSV form has a
// column per signal that appears, known only at the end of the log: it reads
// the log twice (the columns, then the rows), so it takes a file, never a
// pipe, and holds no frame between the two.

#include "cli/CliSupport.h"
#include "cli/SignalText.h"
#include "logs/FrameText.h"
#include "logs/LogText.h"
#include "logs/TraceLog.h"

#include <QFileInfo>

#include <algorithm>
#include <unordered_map>

namespace tellvane::cli {

namespace {

// What is written to the console at a time: large enough that the writes
// cost nothing beside the decoding.
constexpr std::size_t kChunkBytes = 1 << 16;

// Reads the log once, handing each frame on until onFrame says no more. Its
// warnings go to err when `warn` (failed then set); false, with why on err,
// when the log cannot be opened.
template <typename OnFrame>
bool readLog(const QString& file, QTextStream& err, bool warn, bool& failed, OnFrame onFrame)
{
    const std::unique_ptr<TraceLogReader> reader = makeTraceLogReader(traceLogFormatOf(file));
    if (!reader->open(file)) {
        err << "tellvane-cli: cannot open " << file << ": " << reader->errorString() << Qt::endl;
        return false;
    }
    std::int64_t frames = 0;
    const auto report = [&] {
        for (const TraceLogWarning& warning : reader->takeWarnings()) {
            if (warn) {
                err << file << ':' << warning.line << ": " << warning.text << '\n';
                failed = true;
            }
        }
    };
    ReadProgress progress(err, file);
    reader->setCheck([&] {
        report();
        err.flush();
        return progress.check(reader->bytesRead(), frames);
    });
    TraceFrame frame;
    while (reader->next(frame)) {
        ++frames;
        if (!onFrame(frame))
            break;
    }
    report();
    if (const std::int64_t more = reader->droppedWarnings(); warn && more > 0) {
        err << file << ": and " << more << " more warnings" << '\n';
        failed = true;
    }
    if (!reader->errorString().isEmpty()) {
        err << "tellvane-cli: " << file << ": " << reader->errorString() << Qt::endl;
        failed = true;
    }
    return true;
}

// Bytes for the console, written a chunk at a time and checked.
class Console {
public:
    explicit Console(QTextStream& out) : m_out(out) { m_buffer.room(kChunkBytes + 4096); }

    TextBuffer& buffer() { return m_buffer; }
    // False once the console cannot take the lines.
    bool writeIfFull() { return m_buffer.size() < kChunkBytes || write(); }
    bool write()
    {
        m_out.flush();
        if (m_buffer.size() > 0 && outputFailure(m_out).isEmpty())
            m_out.device()->write(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
        m_buffer.clear();
        return outputFailure(m_out).isEmpty();
    }

private:
    QTextStream& m_out;
    TextBuffer m_buffer;
};

// "(1700000000.123456) 18FEF121#0102", as candump writes a frame without its interface.
void appendFrameLine(TextBuffer& out, const TraceFrame& frame)
{
    logtext::LineText line;
    line.put('(');
    logtext::appendSeconds(line, frame.timeUs);
    line.put(") ", 2);
    frametext::append(line, frame);
    out.append(std::string_view(line.text, static_cast<std::size_t>(line.size)));
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string csvField(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes.toStdString();
    return '"' + QByteArray(bytes).replace("\"", "\"\"").toStdString() + '"';
}

// The columns of the CSV form, in the order their signals first appear: a
// signal of a J1939 group once for each source it came from.
class Columns {
public:
    static std::uint64_t keyOf(int signal, int source) { return static_cast<std::uint64_t>(signal) * 257 + (source + 1); }

    void add(SignalText& text, const SignalText::Frame& frame)
    {
        for (const dbc::DecodedSignal& value : *frame.values) {
            const int signal = text.signalIndex(frame, value);
            if (signal < 0 || !m_columns.try_emplace(keyOf(signal, frame.source), m_names.size()).second)
                continue;
            m_names.push_back(csvField(dbc::signalKey(*frame.message, *value.signal, frame.id)));
        }
    }
    // The column of a signal seen on the first reading; -1 for one that was not.
    int find(int signal, int source) const
    {
        const auto found = m_columns.find(keyOf(signal, source));
        return found == m_columns.end() ? -1 : static_cast<int>(found->second);
    }
    const std::vector<std::string>& names() const { return m_names; }

private:
    std::unordered_map<std::uint64_t, std::size_t> m_columns;
    std::vector<std::string> m_names;
};

bool writeCsv(const QString& file, SignalText& text, Console& console, QTextStream& err, bool& failed)
{
    Columns columns;
    bool ignored = false;
    SignalText::Frame decoded;
    if (!readLog(file, err, false, ignored, [&](const TraceFrame& frame) {
            if (text.decode(frame, decoded))
                columns.add(text, decoded);
            return true;
        }))
        return false;
    if (stopRequested())
        return true;

    TextBuffer& out = console.buffer();
    out.append("time,id,message");
    for (const std::string& name : columns.names()) {
        out.append(',');
        out.append(name);
    }
    out.append('\n');
    const int count = static_cast<int>(columns.names().size());
    std::unordered_map<const dbc::Message*, std::string> names;
    std::vector<std::pair<int, const dbc::DecodedSignal*>> cells;
    return readLog(file, err, true, failed, [&](const TraceFrame& frame) {
        logtext::LineText line;
        logtext::appendSeconds(line, frame.timeUs);
        line.put(',');
        const int id = line.size;
        frametext::append(line, frame);
        line.size = static_cast<int>(std::find(line.text + id, line.text + line.size, '#') - line.text);
        line.put(',');
        out.append(std::string_view(line.text, static_cast<std::size_t>(line.size)));
        int next = 0;
        if (text.decode(frame, decoded)) {
            auto name = names.find(decoded.message);
            if (name == names.end())
                name = names.emplace(decoded.message, csvField(decoded.message->name)).first;
            out.append(name->second);
            cells.clear();
            for (const dbc::DecodedSignal& value : *decoded.values) {
                const int signal = text.signalIndex(decoded, value);
                const int column = signal < 0 ? -1 : columns.find(signal, decoded.source);
                if (column >= 0)
                    cells.emplace_back(column, &value);
            }
            std::sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            for (const auto& [column, value] : cells) {
                out.append(static_cast<std::size_t>(column - next + 1), ',');
                text.appendValue(out, decoded, *value);
                next = column + 1;
            }
        }
        out.append(static_cast<std::size_t>(count - next), ',');
        out.append('\n');
        return console.writeIfFull();
    });
}

int decode(const Command& command, const QCommandLineParser& options, QTextStream& out, QTextStream& err)
{
    const QStringList files = options.positionalArguments();
    const QStringList databases = options.values(QStringLiteral("dbc"));
    const QString format = options.value(QStringLiteral("format")).toLower();
    const bool csv = format == QLatin1String("csv");
    QStringList reasons;
    if (files.size() != 1 || files.first().isEmpty())
        reasons << QStringLiteral("decode takes one log file");
    const QString file = files.value(0);
    if (!file.isEmpty() && traceLogFormatOf(file) == TraceLogFormat::Unknown)
        reasons << QStringLiteral("%1: the extension is none of .txt, .log, .asc, .csv").arg(file);
    if (databases.isEmpty() || databases.contains(QString()))
        reasons << QStringLiteral("--dbc FILE is needed: the signal database to decode with");
    if (options.isSet(QStringLiteral("format")) && !csv && format != QLatin1String("text"))
        reasons << QStringLiteral("--format takes text or csv");
    if (csv && QFileInfo::exists(file) && !QFileInfo(file).isFile())
        reasons << QStringLiteral("--format csv reads the log twice: %1 is no regular file").arg(file);
    if (!reasons.isEmpty())
        return refuse(command.usage, err, reasons);

    // Opening a pipe waits for its writer, and a read of one for its bytes.
    installStopSignals(true);
    SignalText text;
    if (!text.load(databases, err))
        return 1;
    bool failed = text.reported();
    Console console(out);
    bool read = false;
    if (csv) {
        read = writeCsv(file, text, console, err, failed);
    } else {
        read = readLog(file, err, true, failed, [&](const TraceFrame& frame) {
            TextBuffer& buffer = console.buffer();
            appendFrameLine(buffer, frame);
            text.append(buffer, frame);
            buffer.append('\n');
            return console.writeIfFull();
        });
    }
    // The caller says why lines were lost.
    console.write();
    err.flush();
    if (!read)
        return 1;
    if (stopRequested())
        return stoppedExitCode();
    return failed ? 1 : 0;
}

}  // namespace

Command decodeCommand()
{
    return {.name = QStringLiteral("decode"),
            .description = QStringLiteral(
                "Prints each frame of a log (.txt, .log, .asc or .csv) with the message and signals the DBC databases "
                "give it: its time and ID#DATA, the message's name (a J1939 group's with @ and its source), then "
                "NAME=VALUE UNIT and the value's text in quotes. With --format csv, one row per frame (time, id, "
                "message) and a column per signal that appears (the log, a file, is read twice). A database looked up "
                "first decides a frame that two know."),
            .usage = QStringLiteral("usage: tellvane-cli decode --dbc FILE [--dbc FILE...] LOG [--format text|csv]\n"
                                    "       LOG: .txt, .log, .asc or .csv"),
            .options = {{QStringLiteral("dbc"),
                         QStringLiteral("A DBC signal database; given again for more, looked up in that order."),
                         QStringLiteral("FILE")},
                        {QStringLiteral("format"),
                         QStringLiteral("text (a line per frame, the default) or csv (a row per frame, a column per signal)."),
                         QStringLiteral("FORMAT")}},
            .arguments = QStringLiteral("LOG"),
            .argumentsHelp = QStringLiteral("The log to decode."),
            .helpEnd = QStringLiteral("\nExit codes:\n"
                                      "  0  every line of the databases and the log was read\n"
                                      "  1  a line was left out (each is named on stderr), or a file cannot be read\n"
                                      "  2  the options do not fit\n"
                                      "  130, 143  stopped by Ctrl+C, SIGTERM\n"),
            .run = &decode};
}

}  // namespace tellvane::cli
