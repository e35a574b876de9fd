#include "app/MainWindow.h"

#include "app/AdapterSwitch.h"
#include "app/ErrorListWindow.h"
#include "app/ErrorLog.h"
#include "app/HelpWindow.h"
#include "app/PollTimer.h"
#include "app/SaveLogName.h"
#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/DataFolder.h"
#include "core/ErrorReporting.h"
#include "core/Version.h"
#include "monitor/MessageLogger.h"
#include "monitor/MonitorController.h"
#include "monitor/MonitorWindow.h"
#include "ui/FreePlace.h"
#include "ui/KeptGeometry.h"
#include "ui/TwipsWidget.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <memory>
#include <optional>

namespace tellvane {

namespace {
QBrush backgroundPicture()
{
    // One seamless tile: a dark ground with the faint lines of a bus and its drops.
    QPixmap tile(160, 120);
    tile.fill(QColor(38, 52, 68));
    QPainter p(&tile);
    p.setPen(QPen(QColor(255, 255, 255, 16), 3));
    p.drawLine(0, 60, 160, 60);
    p.drawLine(40, 60, 40, 90);
    p.drawLine(120, 30, 120, 60);
    return QBrush(tile);
}

QString versionText()
{
    return QString::number(kVersionMajor) + QLatin1Char('.') + QString::number(kVersionMinor) + QLatin1Char('.')
        + QString::number(kVersionRevision);
}
}  // namespace

MainWindow::MainWindow(MainWindowParts parts, QWidget* parent)
    : QMainWindow(parent), m_parts(std::move(parts)), m_mdi(new QMdiArea(this))
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Velmarco Diagnostic V 0.2"));
    m_mdi->setObjectName(QStringLiteral("MdiArea"));
    m_mdi->setBackground(backgroundPicture());
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    buildMenus();
    resize(1024, 768);

    connect(&m_parts.errorLog, &ErrorLog::showRequested, this, &MainWindow::showErrorList);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("Exit"));
    connect(exit, &QAction::triggered, this, &MainWindow::exitNow);

    if (m_parts.adapters) {
        m_adapterMenu = menuBar()->addMenu(QStringLiteral("&Adapter"));
        m_adapterMenu->setObjectName(QStringLiteral("Adapter"));
        // Adapters come and go (USB): the list is made each time it opens.
        connect(m_adapterMenu, &QMenu::aboutToShow, this, &MainWindow::fillAdapterMenu);
    }

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View"));
    QAction* trace = view->addAction(QStringLiteral("&Bus Trace"));
    trace->setObjectName(QStringLiteral("ViewBusTrace"));
    connect(trace, &QAction::triggered, this, &MainWindow::showTrace);
    QAction* transmit = view->addAction(QStringLiteral("&Transmit"));
    transmit->setObjectName(QStringLiteral("ViewTransmit"));
    connect(transmit, &QAction::triggered, this, &MainWindow::showTransmit);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help"));
    QAction* contents = help->addAction(QStringLiteral("&Contents"));
    contents->setObjectName(QStringLiteral("HelpContents"));
    contents->setShortcut(QKeySequence::HelpContents);
    connect(contents, &QAction::triggered, this, &MainWindow::showHelp);
}

void MainWindow::fillAdapterMenu()
{
    m_adapterMenu->clear();
    qDeleteAll(m_adapterMenu->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    auto* group = new QActionGroup(m_adapterMenu);
    const QString current = m_parts.adapters->adapterName();
    const QList<AdapterEntry> entries = m_parts.adapters->adapterEntries();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].group != entries[i - 1].group)
            m_adapterMenu->addSeparator();  // e.g. before the bus plugins' interfaces
        const AdapterEntry& entry = entries[i];
        QAction* action = m_adapterMenu->addAction(entry.label);
        action->setObjectName(QStringLiteral("Adapter:") + entry.name);
        action->setCheckable(true);
        action->setChecked(entry.name == current);
        action->setActionGroup(group);
        const QString name = entry.name;
        connect(action, &QAction::triggered, this, [this, name] {
            // Nothing sent onto a bus it was not started on.
            if (m_transmitWindow && name != m_parts.adapters->adapterName())
                m_transmitWindow->stopSending(QStringLiteral("Stopped: the adapter was switched."));
            m_parts.adapters->chooseAdapter(name);
        });
    }
}

QMdiSubWindow* MainWindow::addChild(QWidget* child, Qt::WindowFlags flags, ChildLifetime lifetime)
{
    QMdiSubWindow* sub = m_mdi->addSubWindow(child, flags);
    sub->setOption(QMdiSubWindow::RubberBandMove, false);
    sub->installEventFilter(this);
    if (lifetime == ChildLifetime::HiddenOnClose) {
        // A window shown again must not be one that is about to be deleted.
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        child->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    return sub;
}

void MainWindow::addBoardWindow(QWidget* window)
{
    addChild(window, kFixedSizeWindow);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The frame's scroll bars follow windows that move or change size, not
    // windows shown again or hidden: a window shown where the frame has since
    // scrolled away, or the others after a hidden one, could never be reached.
    auto* sub = qobject_cast<QMdiSubWindow*>(watched);
    if (sub && event->type() == QEvent::Show) {
        keepInView(sub);
    } else if (sub && event->type() == QEvent::Hide) {
        // A window kept for later goes out of sight: the others may need the
        // scroll bars it no longer leaves off (a maximised one) or stretches.
        QMoveEvent moved(sub->pos(), sub->pos());
        QCoreApplication::sendEvent(sub, &moved);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keepInView(QMdiSubWindow* sub)
{
    if (!sub || sub->isMinimized() || sub->isMaximized())
        return;
    const QRect area = m_mdi->viewport()->rect();
    const QRect caption(sub->pos(), QSize(sub->width(), kTitleBarPixels));
    if (area.contains(caption))
        return;
    // As far in as it takes: the whole width where it fits, else its left edge.
    const int x = std::clamp(sub->x(), 0, std::max(0, area.width() - sub->width()));
    const int y = std::clamp(sub->y(), 0, std::max(0, area.height() - kTitleBarPixels));
    sub->move(x, y);
}

void MainWindow::placeNewWindow(QWidget& window)
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window.parentWidget()))
        placeChild(*sub);
}

QPoint MainWindow::freePlaceFor(const QSize& size)
{
    const QRect area(QPoint(0, 0), m_mdi->maximumViewportSize());
    QList<QRect> windows;
    const QList<QMdiSubWindow*> subs = m_mdi->subWindowList();
    for (const QMdiSubWindow* other : subs) {
        if (other->isVisible() && !other->isMinimized())
            windows.append(other->geometry());
    }
    if (const std::optional<QPoint> place = freePlace(area, windows, size, kTitleBarPixels))
        return *place;
    // Larger than the frame: a cascade.
    return cascadePlace(area, size, m_cascade++);
}

void MainWindow::placeChild(QMdiSubWindow& sub, std::optional<QPoint> kept, const QList<const QMdiSubWindow*>& clearOf)
{
    const QRect there(kept.value_or(QPoint()), sub.size());
    const bool keptIsClear = kept && std::none_of(clearOf.begin(), clearOf.end(), [&](const QMdiSubWindow* other) {
        return other != &sub && other->isVisible() && other->geometry().intersects(there);
    });
    sub.move(keptIsClear ? *kept : freePlaceFor(sub.size()));
}

QSize MainWindow::fittedToFrame(const QSize& size, const QSize& minimum) const
{
    return fitToFrame(size, m_mdi->maximumViewportSize(), minimum);
}

void MainWindow::open()
{
    load();
    // Without a window manager "maximised" means nothing: fill the screen anyway.
    if (QScreen* s = screen())
        setGeometry(s->availableGeometry());
    showMaximized();
}

void MainWindow::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    setWindowTitle(QStringLiteral("Tellvane Diagnostic Software Ver. ") + versionText());

    // The monitor lives as long as the program: no close button.
    m_monitorWindow = new MonitorWindow(m_parts.monitor, m_parts.monitorStatus, m_parts.monitorList,
                                        m_parts.playback, m_parts.settings);
    addChild(m_monitorWindow, kFixedSizeWindow & ~Qt::WindowCloseButtonHint);
    m_monitorWindow->load();
    m_monitorWindow->show();

    // From here on failures are ignored: the program runs without a save log folder.
    const QString dataFolder = m_parts.dataFolder;
    QDir().mkpath(dataFolder);
    const QString logFolder = logFolderOf(dataFolder);
    QDir().mkpath(logFolder);
    m_saveLogFile = saveLogFileName(logFolder, m_parts.now ? m_parts.now() : QDateTime::currentDateTime());
    m_parts.logger.saveLog().claimFileName(m_saveLogFile);
    connect(&m_parts.logger, &MessageLogger::saveFileNameChanged, this, [this](const QString& fileName) {
        m_saveLogFile = fileName;
        if (m_monitorWindow)
            m_monitorWindow->setFileNameText(fileName);
    });
    m_parts.monitor.setLogFolder(logFolder);
    m_monitorWindow->setFileNameText(m_saveLogFile);

    m_parts.pollTimer.setPollingEnabled(true);
}

void MainWindow::showErrorList()
{
    if (!m_errorWindow) {
        m_errorWindow = new ErrorListWindow(m_parts.errorLog, m_parts.settings);
        addChild(m_errorWindow, kFixedSizeWindow, ChildLifetime::HiddenOnClose);
    }
    QMdiSubWindow* sub = m_errorWindow->subWindow();
    if (sub && !sub->isVisible()) {
        m_errorWindow->load();
        sub->show();
        m_errorWindow->show();
    }
}

void MainWindow::showTrace()
{
    if (!m_traceWindow) {
        m_traceWindow = new TraceWindow({.link = m_parts.link,
                                          .clock = m_parts.clock,
                                          .dialogs = m_parts.dialogs,
                                          .folder = m_parts.dataFolder,
                                          .settings = &m_parts.settings,
                                          .signalMenu = m_parts.signalMenu});
        connect(m_traceWindow, &TraceWindow::copyToTransmit, this, [this](const std::vector<TraceFrame>& frames) {
            showTransmit();
            m_transmitWindow->appendFrames(frames);
        });
    }
    showKeptWindow(*m_traceWindow, QStringLiteral("BusTrace"), TraceWindow::kWidthTwips, TraceWindow::kHeightTwips,
                   TraceWindow::kMinimumSize);
}

void MainWindow::showTransmit()
{
    if (!m_transmitWindow) {
        m_transmitWindow = new TransmitWindow({.link = m_parts.link,
                                                .clock = m_parts.clock,
                                                .dialogs = m_parts.dialogs,
                                                .settings = m_parts.settings,
                                                .dataFolder = m_parts.dataFolder});
    }
    showKeptWindow(*m_transmitWindow, QStringLiteral("TransmitWindow"), TransmitWindow::kWidthTwips,
                   TransmitWindow::kHeightTwips, TransmitWindow::kMinimumSize);
}

void MainWindow::showKeptWindow(MdiChild& window, const QString& section, int widthTwips, int heightTwips,
                                QSize minimum)
{
    if (!window.subWindow()) {
        QMdiSubWindow* sub = addChild(&window, {}, ChildLifetime::HiddenOnClose);
        window.setResizableOuterSizeTwips(widthTwips, heightTwips, minimum);
        auto* kept = new KeptGeometry(*sub, m_parts.settings, section);
        if (!kept->restore())
            placeChild(*sub);
    }
    window.subWindow()->show();
    window.show();
    m_mdi->setActiveSubWindow(window.subWindow());
}

void MainWindow::showHelp()
{
    const QString page = QDir(m_parts.filesFolder).filePath(QStringLiteral("help/index.html"));
    try {
        if (!m_helpWindow) {
            auto help = std::make_unique<HelpWindow>();
            m_helpWindow = help.get();
            QMdiSubWindow* sub = addChild(help.release(), {}, ChildLifetime::HiddenOnClose);
            // Smaller than that when the frame is, and where it can be seen whole.
            sub->resize(fittedToFrame(QSize(760, 560), QSize(320, 240)));
            placeChild(*sub);
        }
        // Contents again each time the window opens; an open one stays where the reader is.
        if (!m_helpWindow->subWindow()->isVisible())
            m_helpWindow->showPage(page);
        m_helpWindow->subWindow()->show();
        m_helpWindow->show();
        m_mdi->setActiveSubWindow(m_helpWindow->subWindow());
    } catch (const Failure& failure) {
        printError(unexpectedErrorTextWithEnding(failure, QStringLiteral("' occured when trying to load the help file")));
    }
}

void MainWindow::exitNow()
{
    m_parts.pollTimer.setPollingEnabled(false);
    if (m_transmitWindow)
        m_transmitWindow->stopSending(QStringLiteral("Stopped: the program ends."));
    announceFinished();
}

void MainWindow::announceFinished()
{
    // Exit, and the closing that ending the program brings after it: once.
    if (m_finished)
        return;
    m_finished = true;
    emit finished();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    m_closing = true;
    // Every child runs its own closing steps first (positions are saved).
    if (m_monitorWindow)
        m_monitorWindow->allowClose();
    m_mdi->closeAllSubWindows();
    m_parts.pollTimer.setPollingEnabled(false);
    m_parts.link.blockCanReception();
    m_parts.clock.delayMs(250);
    QCoreApplication::processEvents();
    event->accept();
    announceFinished();
}

}  // namespace tellvane
