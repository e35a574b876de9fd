#pragma once

#include <QString>

namespace tellvane {

// Every modal box, file dialog and beep goes through this interface, so that
// the logic can be driven in tests without anything blocking on a dialog.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Modal information box with a single OK button.
    virtual void information(const QString& title, const QString& text) = 0;

    // File-open dialog; empty text when the user cancels.
    virtual QString openFileName(const QString& caption, const QString& folder, const QString& filter) = 0;

    // File-save dialog, asking before it replaces a file; empty text when the
    // user cancels. Where nobody can be asked (a command), saving is cancelled.
    virtual QString saveFileName(const QString& /*caption*/, const QString& /*folder*/, const QString& /*filter*/)
    {
        return {};
    }

    // Modal question with Yes and No buttons (No the default); true for Yes.
    // Where nobody can be asked, the answer is No.
    virtual bool question(const QString& /*title*/, const QString& /*text*/) { return false; }

    // The system beep.
    virtual void beep() = 0;
};

}  // namespace tellvane
