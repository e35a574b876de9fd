#include "app/HelpWindow.h"

#include "core/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tellvane {

HelpWindow::HelpWindow(QWidget* parent) : MdiChild(parent), m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Tellvane Help"));
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
}

void HelpWindow::showPage(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable())
        throw Failure(info.dir().exists() ? FailureCode::FileNotFound : FailureCode::PathNotFound);
    m_browser->setSearchPaths({info.absolutePath()});
    m_browser->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
}

}  // namespace tellvane
