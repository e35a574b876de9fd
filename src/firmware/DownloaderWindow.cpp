#include "firmware/DownloaderWindow.h"

#include "core/SettingsStore.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>

namespace tellvane {

namespace {
const QString kSection = QStringLiteral("DownLoadForm");

QLabel* makeLabel(QWidget* parent, const QString& text, int left, int top, int width, bool bold = false)
{
    auto* label = new QLabel(text, parent);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    placeTwips(label, left, top, width, 255);
    return label;
}
}  // namespace

DownloaderWindow::DownloaderWindow(FirmwareDownloader& downloader, SettingsStore& settings, QWidget* parent)
    : MdiChild(parent), m_downloader(downloader), m_settings(settings)
{
    setObjectName(QStringLiteral("FirmwareDL"));
    setWindowTitle(QStringLiteral("Firmware DownLoader"));

    makeLabel(this, QStringLiteral("Step 1"), 120, 120, 720, true);
    makeLabel(this, QStringLiteral("List of memory areas"), 900, 120, 2400);
    makeLabel(this, QStringLiteral("(click to select memory to download to)"), 3360, 120, 5175);
    m_info = new QListWidget(this);
    m_info->setObjectName(QStringLiteral("InfoList"));
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setPointSizeF(8.25);
    m_info->setFont(fixed);
    m_info->setSelectionMode(QAbstractItemView::SingleSelection);
    placeTwips(m_info, 120, 420, 8415, 1800);
    // Mouse, keyboard or a drag: every change of the selected line chooses its area.
    connect(m_info, &QListWidget::itemSelectionChanged, this, &DownloaderWindow::selectionChanged);
    // A click on the line already selected changes no selection, but is a
    // click on the area all the same (the status empties).
    connect(m_info, &QAbstractItemView::pressed, this, &DownloaderWindow::selectionChanged);

    makeLabel(this, QStringLiteral("Step 2"), 120, 2340, 720, true);
    makeLabel(this, QStringLiteral("File name to download"), 900, 2340, 2400);
    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("FileNameBox"));
    m_file->setReadOnly(true);
    placeTwips(m_file, 120, 2640, 6855, 300);
    m_choose = new QPushButton(QStringLiteral("Choose File"), this);
    m_choose->setObjectName(QStringLiteral("Command1"));
    placeTwips(m_choose, 7095, 2625, 1440, 330);
    connect(m_choose, &QPushButton::clicked, &m_downloader, &FirmwareDownloader::chooseFile);

    makeLabel(this, QStringLiteral("Step 3"), 120, 3150, 720, true);
    m_start = new QPushButton(QStringLiteral("Start Download"), this);
    m_start->setObjectName(QStringLiteral("Command3"));
    placeTwips(m_start, 900, 3090, 2280, 375);
    connect(m_start, &QPushButton::clicked, &m_downloader, &FirmwareDownloader::startDownload);
    makeLabel(this, QStringLiteral("Step 4"), 3420, 3150, 720, true);
    m_flash = new QPushButton(QStringLiteral("Flash To Memory"), this);
    m_flash->setObjectName(QStringLiteral("MigrateCommand"));
    placeTwips(m_flash, 4200, 3090, 2280, 375);
    connect(m_flash, &QPushButton::clicked, &m_downloader, &FirmwareDownloader::flashToMemory);

    makeLabel(this, QStringLiteral("Download status"), 120, 3660, 1500);
    m_status = new QLineEdit(this);
    m_status->setObjectName(QStringLiteral("DownloadStatusText"));
    m_status->setReadOnly(true);
    placeTwips(m_status, 1680, 3630, 6855, 300);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("DownloadProgress"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    placeTwips(m_progress, 1680, 3990, 6855, 180);
    m_progress->hide();
    m_warning = makeLabel(this, QStringLiteral("Warning: CAN bus warnings were detected during download"), 120, 4290, 8415);
    m_warning->setObjectName(QStringLiteral("WarningLabel"));
    QPalette red = m_warning->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    m_warning->setPalette(red);
    m_warning->hide();
}

DownloaderWindow::~DownloaderWindow()
{
    if (m_downloader.view() == this)
        m_downloader.setView(nullptr);
}

void DownloaderWindow::selectionChanged()
{
    // A list view may select the same line more than once while it handles
    // one key or click, and a press selects before it says so; the line it
    // ends on is the one that counts, once.
    if (m_selectionPending)
        return;
    m_selectionPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_selectionPending = false;
            const int row = selectedInfoLine();
            if (row >= 0)
                m_downloader.infoListClicked(row);
        },
        Qt::QueuedConnection);
}

void DownloaderWindow::showWindow()
{
    setOuterSizeTwips(kWidthTwips, kHeightTwips);
    const SettingsStore::Position p = m_settings.position(kSection);
    const bool kept = p.top > 0 && p.left > 0 && moveToKeptPlaceTwips(p.top, p.left);
    if (!kept && m_placeNew && !(subWindow() && subWindow()->isVisible()))
        m_placeNew(*this);
    raiseWindow();
}

void DownloaderWindow::raiseWindow()
{
    if (QMdiSubWindow* sub = subWindow()) {
        if (sub->isMinimized())
            sub->showNormal();
        sub->show();
        sub->raise();
        if (QMdiArea* area = sub->mdiArea())
            area->setActiveSubWindow(sub);
    }
    show();
}

void DownloaderWindow::hideWindow()
{
    m_hiding = true;
    if (QMdiSubWindow* sub = subWindow())
        sub->close();
    else
        close();
    m_hiding = false;
}

void DownloaderWindow::closeEvent(QCloseEvent* event)
{
    // Only a window that was open has a place of its own to keep: the hidden
    // one is closed with the program too.
    if (QMdiSubWindow* sub = subWindow(); !sub || (sub->isVisible() && !sub->isMinimized()))
        m_settings.savePosition(kSection, outerTopTwips(), outerLeftTwips());
    if (!m_hiding)
        m_downloader.windowClosed();
    event->accept();
}

void DownloaderWindow::clearInfo()
{
    m_info->clear();
}

void DownloaderWindow::addInfoLine(const QString& line)
{
    m_info->addItem(line);
}

int DownloaderWindow::selectedInfoLine() const
{
    const auto selected = m_info->selectedItems();
    return selected.isEmpty() ? -1 : m_info->row(selected.first());
}

QString DownloaderWindow::infoLine(int row) const
{
    const QListWidgetItem* item = m_info->item(row);
    return item ? item->text() : QString();
}

void DownloaderWindow::clearInfoSelection()
{
    // The current line stays, so that the arrow keys go on from it.
    m_info->clearSelection();
}

QString DownloaderWindow::fileName() const
{
    return m_file->text();
}

void DownloaderWindow::setFileName(const QString& path)
{
    m_file->setText(path);
    m_file->setCursorPosition(static_cast<int>(path.size()));
}

void DownloaderWindow::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setCursorPosition(0);
}

void DownloaderWindow::setProgress(int percent)
{
    m_progress->setVisible(percent >= 0);
    if (percent >= 0)
        m_progress->setValue(percent);
}

void DownloaderWindow::setWarningVisible(bool visible)
{
    m_warning->setVisible(visible);
}

void DownloaderWindow::setBusy(bool busy)
{
    m_start->setEnabled(!busy);
    m_flash->setEnabled(!busy);
}

void DownloaderWindow::yield()
{
    QCoreApplication::processEvents();
}

}  // namespace tellvane
