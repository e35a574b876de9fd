#pragma once

#include "core/Dialogs.h"

#include <QPointer>
#include <QWidget>

namespace tellvane {

// The real boxes and dialogs, parented to the main window.
class WidgetDialogs final : public Dialogs {
public:
    void setParentWidget(QWidget* parent) { m_parent = parent; }

    void information(const QString& title, const QString& text) override;
    QString openFileName(const QString& caption, const QString& folder, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& folder, const QString& filter) override;
    bool question(const QString& title, const QString& text) override;
    void beep() override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace tellvane
