#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <optional>

class QMdiSubWindow;

namespace tellvane {

class SettingsStore;

// Keeps the size and place of a child window that can be resized, and
// whether it was maximised, in a section of the settings of its own ("Top",
// "Left", "Width", "Height" in twips, "Maximized" 1 or 0): written whenever
// the window is closed (hidden, or deleted with the program's end), read back
// by restore(). What is kept is the window's normal size and place, also
// while it is maximised.
class KeptGeometry final : public QObject {
    Q_OBJECT

public:
    KeptGeometry(QMdiSubWindow& sub, SettingsStore& settings, QString section);

    // Gives the window its kept size (at least its minimum, at most the
    // frame) and place (only where its title bar stays within reach), and
    // maximises it when it was. False, and the window stays as it is, when
    // nothing usable was kept.
    bool restore();
    // restore() in parts: the size alone (false when none was kept), and the
    // kept place in pixels, where the window's title bar would be within reach.
    bool restoreSize();
    std::optional<QPoint> keptPlace() const;
    // Writes the window's normal size and place now.
    void save();
    // The window's size and place when not maximised or minimised, in pixels.
    QRect normalGeometry() const { return m_normal; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void noteGeometry();

    QPointer<QMdiSubWindow> m_sub;
    const QObject* m_watched;
    SettingsStore& m_settings;
    QString m_section;
    QRect m_normal;
    bool m_maximised = false;
    bool m_restoring = false;  // back from maximised: its own size comes next
};

}  // namespace tellvane
