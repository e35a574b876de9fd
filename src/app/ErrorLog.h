#pragma once

#include "core/LineListModel.h"

#include <QObject>
#include <QString>

namespace tellvane {

// The error list's content: every message printed, cut into list lines, and
// the count of messages since the last clearing. Bounded, so that a flood of
// errors cannot take all the memory: the newest 5,000 lines stay, and the count
// stops at 32767.
class ErrorLog : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kLineLimit = 5000;
    static constexpr int kCountLimit = 32767;

    explicit ErrorLog(QObject* parent = nullptr);

    // PrintError: count, make the window show, add the message's lines.
    void print(const QString& message);
    // "Clear List": no lines, count 0.
    void clear();
    // The user closed the window: its lines go, the count stays.
    void windowClosed();

    int count() const { return m_count; }
    LineListModel& lines() { return m_lines; }

signals:
    // The window must be showing; sent before the lines are added.
    void showRequested();
    void countChanged(int count);

private:
    LineListModel m_lines;
    int m_count = 0;
};

}  // namespace tellvane
