#include "JourneyHarness.h"

#include "diagnostics/BoardWindow.h"
#include "firmware/DownloaderWindow.h"
#include "sim/BenchFile.h"
#include "sim/SimAdapter.h"
#include "sim/SimBoard.h"
#include "ui/ClickableLabel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QStyleOptionTitleBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tellvane::test {

namespace {

QtMessageHandler g_previousHandler = nullptr;

// Input sent to a widget that does not take it is normal for a technician (a
// key on a label), and the screen without a display cannot raise windows or
// grab the pointer; the complaints about either are noise.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg
        && (message.startsWith(QLatin1String("Mouse event")) || message.startsWith(QLatin1String("Keyboard event"))
            || message.startsWith(QLatin1String("This plugin does not support"))))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator files(from, QDir::Files);
    while (files.hasNext()) {
        const QString file = files.next();
        QFile::copy(file, to + QLatin1Char('/') + QFileInfo(file).fileName());
    }
}

// Where a part of a child window's title bar lies, as the window itself works it out.
QRect titleBarRect(QMdiSubWindow* sub, QStyle::SubControl part)
{
    QStyleOptionTitleBar option;
    option.initFrom(sub);
    option.subControls = QStyle::SC_All;
    option.titleBarFlags = sub->windowFlags();
    option.titleBarState = sub->windowState();
    option.text = sub->windowTitle();
    option.icon = sub->windowIcon();
    if (sub->mdiArea() && sub->mdiArea()->activeSubWindow() == sub) {
        option.state |= QStyle::State_Active;
        option.titleBarState |= QStyle::State_Active;
    }
    const int height = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, sub);
    const int border = 4;
    option.rect = QRect(border, border, sub->width() - 2 * border, height - border);
    return sub->style()->subControlRect(QStyle::CC_TitleBar, &option, part, sub);
}

}  // namespace

// The window system reports no move to the place the pointer already is, so
// it comes from one pixel away.
bool JourneyHarness::hover(QWidget* widget, QPoint at)
{
    // Each move lets the event loop run: what is waiting there may close the window.
    QPointer<QWidget> guard = widget;
    QTest::mouseMove(widget, at + QPoint(1, 1));
    if (guard)
        QTest::mouseMove(widget, at);
    return guard && guard->isVisible();
}

bool JourneyHarness::clickAt(QWidget* widget, QPoint at)
{
    if (!hover(widget, at))
        return false;
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    return true;
}

void JourneyHarness::dragFrom(QMdiSubWindow* window, QPoint at, QPoint by)
{
    QPointer<QMdiSubWindow> sub = window;
    if (!hover(sub, at))
        return;
    QTest::mousePress(sub, Qt::LeftButton, {}, at);
    // With the button held the moves go straight to the window being dragged.
    if (sub)
        QTest::mouseMove(sub, at + by);
    if (sub)
        QTest::mouseRelease(sub, Qt::LeftButton, {}, at);
}

QAction* JourneyHarness::entryNamed(const QMenu* menu, const QString& name)
{
    const QList<QAction*> actions = menu ? menu->actions() : QList<QAction*>();
    for (QAction* action : actions) {
        if (action->objectName() == name || action->text().remove(QLatin1Char('&')) == name)
            return action;
    }
    return nullptr;
}

void JourneyHarness::deliver(const std::function<void()>& input)
{
    const QScopedValueRollback<int> depth(m_depth, m_depth + 1);
    input();
}

void JourneyHarness::press(QWidget* widget, QPoint at)
{
    deliver([&] { clickAt(widget, at); });
    settle();
}

QPoint JourneyHarness::titleBarPoint(QMdiSubWindow* sub, QStyle::SubControl part)
{
    const QRect r = titleBarRect(sub, part);
    return r.isValid() ? r.center() : QPoint(-1, -1);
}

bool JourneyHarness::reachable(QWidget* widget, QPoint at)
{
    if (!widget || !widget->isVisible())
        return false;
    // Menus pop up over everything.
    if (widget->window()->windowType() == Qt::Popup)
        return true;
    const QPoint local = at.isNull() ? widget->rect().center() : at;
    if (!widget->rect().contains(local))
        return false;
    QWidget* hit = QApplication::widgetAt(widget->mapToGlobal(local));
    return hit && (hit == widget || widget->isAncestorOf(hit));
}

std::optional<QPoint> JourneyHarness::freeTitleBarPoint(QMdiSubWindow* sub)
{
    if (!sub || !sub->isVisible())
        return std::nullopt;
    const QRect label = titleBarRect(sub, QStyle::SC_TitleBarLabel);
    const QStyle::SubControl buttons[] = {QStyle::SC_TitleBarSysMenu,    QStyle::SC_TitleBarMinButton,
                                          QStyle::SC_TitleBarMaxButton,  QStyle::SC_TitleBarCloseButton,
                                          QStyle::SC_TitleBarNormalButton, QStyle::SC_TitleBarShadeButton,
                                          QStyle::SC_TitleBarUnshadeButton, QStyle::SC_TitleBarContextHelpButton};
    // From the middle of the caption outwards, clear of the buttons.
    for (int step = 0; step < label.width(); step += 6) {
        for (const int x : {label.center().x() + step, label.center().x() - step}) {
            const QPoint at(x, label.center().y());
            const bool onButton = std::any_of(std::begin(buttons), std::end(buttons), [&](QStyle::SubControl b) {
                return titleBarRect(sub, b).adjusted(-2, -2, 2, 2).contains(at);
            });
            if (label.contains(at) && !onButton && reachable(sub, at))
                return at;
        }
    }
    return std::nullopt;
}

bool JourneyHarness::bringToFront(QMdiSubWindow* sub)
{
    std::optional<QPoint> at = freeTitleBarPoint(sub);
    if (!at && sub && sub->isVisible()) {
        // The title bar is all covered: any part of the window that does
        // nothing when clicked (its frame, a caption, a box) will do.
        for (int y = 2; y < sub->height() && !at; y += 8) {
            for (int x = 2; x < sub->width() && !at; x += 8) {
                const QPoint p(x, y);
                if (!reachable(sub, p))
                    continue;
                const QWidget* hit = QApplication::widgetAt(sub->mapToGlobal(p));
                const bool passive = hit == sub || qobject_cast<const QGroupBox*>(hit)
                    || (qobject_cast<const QLabel*>(hit) && !qobject_cast<const ClickableLabel*>(hit))
                    || hit == sub->widget();
                if (passive)
                    at = p;
            }
        }
    }
    if (!at)
        return false;
    press(sub, *at);
    return true;
}

bool JourneyHarness::dragTitleBar(QWidget* window, QPoint by)
{
    QMdiSubWindow* sub = subWindowOf(window);
    std::optional<QPoint> at = freeTitleBarPoint(sub);
    if (!at && bringToFront(sub))
        at = freeTitleBarPoint(sub);
    if (!at) {
        // Where everything was, so that a failure far into a monkey run can be understood.
        QString where;
        QDebug(&where) << sub->geometry() << "caption" << titleBarRect(sub, QStyle::SC_TitleBarLabel)
                       << "viewport" << main().mdiArea()->viewport()->geometry();
        ADD_FAILURE() << "no free part of the title bar of " << describe(sub).toStdString() << ": "
                      << where.toStdString();
        return false;
    }
    deliver([&] { dragFrom(sub, *at, by); });
    settle();
    return true;
}

JourneyHarness::JourneyHarness(const QString& benchText, const QString& preview)
    : m_benchText(benchText.isEmpty() ? defaultBenchText() : benchText)
{
    g_previousHandler = qInstallMessageHandler(quietHandler);
    copyFolder(QStringLiteral(TELLVANE_SOURCE_DIR "/Configuration"), programFolder() + QStringLiteral("/Configuration"));
    copyFolder(QStringLiteral(TELLVANE_SOURCE_DIR "/help"), programFolder() + QStringLiteral("/help"));
    m_timers = std::make_unique<ProgramTimers>(clock);
    previewFile = preview;
    yields = true;
    // The vendor library is not beside the test program: it reports itself missing.
    makeAdapter = [this](const QString& name) {
        return name == QLatin1String("sim") ? AdapterChoice{.adapter = makeBench(), .error = {}, .warnings = {}}
                                            : createAdapter(name, AdapterEnvironment{clock, programFolder()});
    };
    // No interfaces of the bus plugins: journeys use no network.
    adapterList = {{QStringLiteral("Vendor library"), QStringLiteral("library")},
                   {QStringLiteral("Simulated bench"), QStringLiteral("sim")}};
    startProgram();
}

void JourneyHarness::startProgram()
{
    start(makeBench());
    for (const QTimer* timer : {&app->pollTimer().timer(), &app->downloader().infoTimer(), &app->adapters().retryTimer(),
                                &app->monitorStatus().errorTimer(), &app->playback().stepTimer(), &app->playback().scanTimer()})
        m_timers->watch(*timer);

    main().open();
    main().activateWindow();  // what the window system does for a new main window
    settle();
}

void JourneyHarness::restartProgram()
{
    endProgram();
    startProgram();
}

JourneyHarness::~JourneyHarness()
{
    if (app)
        endProgram();
    m_timers.reset();
    qInstallMessageHandler(g_previousHandler);
}

std::unique_ptr<Adapter> JourneyHarness::makeBench()
{
    auto sim = std::make_unique<SimAdapter>(clock);
    const BenchSpec spec =
        previewFile.isEmpty() ? parseBench(m_benchText, QStringLiteral("journey")) : previewBench(previewFile);
    EXPECT_TRUE(spec.warnings.isEmpty()) << spec.warnings.join(QLatin1Char('\n')).toStdString();
    buildBench(*sim, spec);
    sim->bus().emplaceNode<ToolFrames>();
    return sim;
}

void JourneyHarness::settle()
{
    // Deferred deletes posted from inside the program's own yields wait, as
    // they do in the program, until control is back in the outermost loop.
    const bool outermost = m_depth == 0;
    const QScopedValueRollback<int> depth(m_depth, m_depth + 1);
    for (int round = 0; round < 100; ++round) {
        const std::uint64_t before = m_timers->eventsSeen();
        QCoreApplication::processEvents();
        if (outermost)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // A window manager gives the activation back to the main window once a
        // menu closes; the screen without a display leaves it with the menu.
        if (app && !QApplication::activePopupWidget() && QApplication::activeWindow() != &main() && main().isVisible())
            main().activateWindow();
        if (m_timers->eventsSeen() == before)
            break;
    }
    m_timers->observe();
}

void JourneyHarness::pass(int ms)
{
    for (; ms > 0; ms -= 25) {
        clock.advanceMs(std::min(ms, 25));
        runDueTimers();
    }
}

void JourneyHarness::watchTimer(const QTimer& timer)
{
    m_timers->watch(timer);
}

void JourneyHarness::runDueTimers()
{
    deliver([this] { m_timers->fireDue(); });
    settle();
}

QString JourneyHarness::describe(const QObject* object)
{
    if (!object)
        return QStringLiteral("(nothing)");
    QString text = QString::fromLatin1(object->metaObject()->className());
    if (!object->objectName().isEmpty())
        text += QLatin1Char(' ') + object->objectName();
    if (const auto* w = qobject_cast<const QWidget*>(object); w && w->window() != w)
        text += QStringLiteral(" in ") + describe(w->window());
    if (const auto* sub = qobject_cast<const QWidget*>(object); sub && !sub->windowTitle().isEmpty())
        text += QStringLiteral(" \"") + sub->windowTitle() + QLatin1Char('"');
    return text;
}

bool JourneyHarness::click(QWidget* widget, QPoint at)
{
    const char* why = !widget || !widget->isVisible() ? "not on the screen" : !widget->isEnabled() ? "disabled" : nullptr;
    if (!why && !reachable(widget, at))
        bringToFront(subWindowOf(widget));
    if (!why && !reachable(widget, at))
        why = "covered or off the screen";
    if (why) {
        ADD_FAILURE() << "cannot click " << describe(widget).toStdString() << ": " << why;
        return false;
    }
    // The pointer comes to rest there first (title bar buttons react to that).
    press(widget, at.isNull() ? widget->rect().center() : at);
    return true;
}

bool JourneyHarness::clickButton(QWidget* window, const char* objectName)
{
    QWidget* button = window ? window->findChild<QWidget*>(QString::fromLatin1(objectName)) : nullptr;
    if (!button) {
        ADD_FAILURE() << "no " << objectName << " in " << describe(window).toStdString();
        return false;
    }
    return click(button);
}

bool JourneyHarness::clickRow(QAbstractItemView* view, int row)
{
    if (!view || !view->model() || row < 0 || row >= view->model()->rowCount()) {
        ADD_FAILURE() << "no row " << row << " in " << describe(view).toStdString();
        return false;
    }
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    if (!view->viewport()->rect().contains(rect.center())) {
        ADD_FAILURE() << "row " << row << " of " << describe(view).toStdString() << " is scrolled out of sight";
        return false;
    }
    return click(view->viewport(), rect.center());
}

QWidget* JourneyHarness::keyTarget() const
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup;
    if (QWidget* focus = QApplication::focusWidget())
        return focus;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return app ? &app->mainWindow() : nullptr;
}

void JourneyHarness::key(int key, Qt::KeyboardModifiers modifiers)
{
    if (QWidget* target = keyTarget())
        deliver([&] { QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers); });
    settle();
}

bool JourneyHarness::pressTitleBar(QWidget* window, QStyle::SubControl part)
{
    QMdiSubWindow* sub = subWindowOf(window);
    if (!sub) {
        ADD_FAILURE() << "no child window for " << describe(window).toStdString();
        return false;
    }
    return click(sub, titleBarPoint(sub, part));
}

bool JourneyHarness::closeBox(QWidget* window)
{
    // Without a close box there is nothing at its place to click: that fails as covered.
    return pressTitleBar(window, QStyle::SC_TitleBarCloseButton);
}

bool JourneyHarness::maximiseBox(QWidget* window)
{
    return pressTitleBar(window, QStyle::SC_TitleBarMaxButton);
}

bool JourneyHarness::settleScreenFiles(BoardWindow* window)
{
    const QTimer& settle = window->screenFiles().settleTimer();
    if (!QTest::qWaitFor([&] { return settle.isActive(); }, 10000))
        return false;
    pass(ScreenFileWatcher::kSettleMs + 100);
    return !settle.isActive();
}

bool JourneyHarness::closeFromSystemMenu(QWidget* window)
{
    if (!pressTitleBar(window, QStyle::SC_TitleBarSysMenu))
        return false;
    return clickMenuEntry(qobject_cast<QMenu*>(QApplication::activePopupWidget()), QStringLiteral("Close"));
}

bool JourneyHarness::clickMenuEntry(QMenu* menu, const QString& entry)
{
    QAction* action = entryNamed(menu, entry);
    if (!menu || !menu->isVisible() || !action) {
        ADD_FAILURE() << "no entry " << entry.toStdString() << " in an open " << describe(menu).toStdString();
        return false;
    }
    press(menu, menu->actionGeometry(action).center());
    return true;
}

bool JourneyHarness::chooseFromMenu(const char* menuObjectName, const QString& actionObjectName)
{
    QMenuBar* bar = main().menuBar();
    auto* menu = bar->findChild<QMenu*>(QString::fromLatin1(menuObjectName));
    if (!menu || !click(bar, bar->actionGeometry(menu->menuAction()).center()) || !menu->isVisible()) {
        ADD_FAILURE() << "the menu " << menuObjectName << " did not open";
        return false;
    }
    return clickMenuEntry(menu, actionObjectName);
}

QList<QMdiSubWindow*> JourneyHarness::shownSubWindows() const
{
    QList<QMdiSubWindow*> shown;
    if (!app)
        return shown;
    const QList<QMdiSubWindow*> all = app->mainWindow().mdiArea()->subWindowList();
    for (QMdiSubWindow* sub : all) {
        if (sub->isVisible())
            shown.append(sub);
    }
    return shown;
}

BoardWindow* JourneyHarness::boardWindow(const QString& title) const
{
    for (BoardWindow* w : boardWindows()) {
        if (w->windowTitle() == title)
            return w;
    }
    return nullptr;
}

DownloaderWindow* JourneyHarness::downloaderWindow() const
{
    return shownWindow<DownloaderWindow>();
}

QListWidget* JourneyHarness::infoList() const
{
    DownloaderWindow* w = downloaderWindow();
    return w ? w->findChild<QListWidget*>(QStringLiteral("InfoList")) : nullptr;
}

QStringList JourneyHarness::infoLines() const
{
    QStringList lines;
    QListWidget* list = infoList();
    for (int i = 0; list && i < list->count(); ++i)
        lines.append(list->item(i)->text());
    return lines;
}

QString JourneyHarness::downloaderStatus() const
{
    DownloaderWindow* w = downloaderWindow();
    auto* box = w ? w->findChild<QLineEdit*>(QStringLiteral("DownloadStatusText")) : nullptr;
    return box ? box->text() : QString();
}

SimAdapter* JourneyHarness::bench() const
{
    return app ? dynamic_cast<SimAdapter*>(&app->adapter()) : nullptr;
}

template <typename T>
T* JourneyHarness::node(const std::function<bool(const T&)>& wanted) const
{
    SimAdapter* sim = bench();
    for (std::size_t i = 0; sim && i < sim->bus().nodes().size(); ++i) {
        if (auto* found = dynamic_cast<T*>(sim->bus().nodes()[i].get()); found && wanted(*found))
            return found;
    }
    return nullptr;
}

SimBoard* JourneyHarness::simBoard(int address) const
{
    return node<SimBoard>([address](const SimBoard& b) { return b.spec().address == address; });
}

const ToolFrames* JourneyHarness::toolFrames() const
{
    return node<ToolFrames>([](const ToolFrames&) { return true; });
}

QString JourneyHarness::writeFirmware(const QString& name, const QByteArray& text)
{
    return writeFile(dir.filePath(QStringLiteral("firmware/") + name), text);
}

void JourneyHarness::endProgram()
{
    m_timers = std::make_unique<ProgramTimers>(clock);  // the program's timers go with it
    app.reset();
    settle();
}

}  // namespace tellvane::test
