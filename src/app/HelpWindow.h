#pragma once

#include "ui/MdiChild.h"

class QTextBrowser;

namespace tellvane {

// The help pages shipped beside the program, shown in a child window.
class HelpWindow : public MdiChild {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the page; throws Failure(FileNotFound) when it is missing.
    void showPage(const QString& fileName);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

}  // namespace tellvane
