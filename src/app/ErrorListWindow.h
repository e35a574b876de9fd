#pragma once

#include "ui/MdiChild.h"
#include "ui/TwipsWidget.h"

class QLineEdit;
class QListView;

namespace tellvane {

class ErrorLog;
class SettingsStore;

// ErrorForm, "Error List": where every failure and warning of the program lands.
class ErrorListWindow : public MdiChild {
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 8175;
    static constexpr int kHeightTwips = 3420;

    ErrorListWindow(ErrorLog& log, SettingsStore& settings, QWidget* parent = nullptr);

    // Form load: size and the saved place (a first start puts it top left).
    void load();

    QListView* list() const { return m_list; }
    QLineEdit* counter() const { return m_counter; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ErrorLog& m_log;
    SettingsStore& m_settings;
    QListView* m_list = nullptr;
    QLineEdit* m_counter = nullptr;
};

}  // namespace tellvane
