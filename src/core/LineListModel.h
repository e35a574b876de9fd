#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <deque>

namespace tellvane {

class Clock;

// A list of text lines for a list view, fed at bus speed. Appends are collected
// and announced to the view in one batch on the next turn of the event loop
// (or by flush()), so that a full bus costs one insert per batch, not one per
// line. The size is bounded by one of two rules.
class LineListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum class Bound {
        ClearWhenOver,  // once the list holds more than the limit, it is emptied
        DropOldest,     // the oldest lines go so that at most the limit remain
    };

    LineListModel(Bound bound, std::size_t limit, QObject* parent = nullptr);

    // Lines as the logic sees them, announced to the view or not yet.
    std::size_t size() const { return m_lines.size(); }
    bool isEmpty() const { return m_lines.empty(); }
    const QString& at(std::size_t row) const { return m_lines.at(row); }
    QString textAt(int row) const;  // empty text outside the list

    void append(QString line);   // batched
    void clear();                // immediate
    void removeFirst();          // immediate
    void appendNow(QString line);  // immediate
    void flush();                // announces pending appends

    // Announcements at least ms apart on the clock: each one lays out and
    // paints the whole view, and at a full bus a turn of the event loop comes
    // every few milliseconds. Lines appended meanwhile wait for the next one.
    // Without it, every turn of the event loop announces. flush() still
    // announces at once.
    void setAnnounceInterval(Clock& clock, int ms);

    // When set, the view shows control characters (such as a record's CR LF) as blanks.
    void setBlankControlCharacters(bool on) { m_blankControls = on; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // As the base class answers, without its virtual calls: the list view asks
    // for every row each time it lays the list out.
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    // After pending lines were announced (the view scrolls then).
    void flushed();

private:
    void scheduleFlush();
    void flushWhenDue();
    void dropFront(std::size_t count);

    Bound m_bound;
    std::size_t m_limit;
    std::deque<QString> m_lines;
    std::size_t m_announced = 0;  // lines the view knows of: a prefix of m_lines
    bool m_flushScheduled = false;
    bool m_blankControls = false;
    Clock* m_clock = nullptr;
    std::int64_t m_intervalUs = 0;
    std::int64_t m_lastAnnounceUs = 0;
    bool m_announcedOnce = false;
    QTimer m_held;  // brings held lines out when their time comes
};

}  // namespace tellvane
