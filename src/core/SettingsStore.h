#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace tellvane {

// The per-user settings store under the application key "VelmarcoDiagnostic":
// one section per window, values kept as text.
class SettingsStore {
public:
    // The user's own store.
    SettingsStore();
    // A store in the given file (tests, portable set-ups).
    explicit SettingsStore(const QString& iniFile);
    ~SettingsStore();

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Empty text when the value is absent.
    QString value(const QString& section, const QString& name) const;
    // False when the store could not be written.
    bool setValue(const QString& section, const QString& name, const QString& text);

    // "Top" and "Left" of a section, each read as a leading number (absent: 0).
    struct Position {
        double top = 0;
        double left = 0;
    };
    Position position(const QString& section) const;
    bool savePosition(const QString& section, int topTwips, int leftTwips);

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace tellvane
