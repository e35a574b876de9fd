#include "Monkey.h"

#include "JourneyHarness.h"

#include "can/CanLink.h"
#include "firmware/DownloaderWindow.h"
#include "firmware/FirmwareDownloader.h"

#include "ui/ClickableLabel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>

#include <algorithm>
#include <iostream>

namespace tellvane::test {

namespace {

bool inDownloader(QWidget* widget)
{
    return JourneyHarness::enclosing<DownloaderWindow>(widget) != nullptr;
}

// Buttons that start a stage of the download dialogue.
bool startsAStage(QWidget* widget)
{
    const QString name = widget ? widget->objectName() : QString();
    return inDownloader(widget) && (name == QLatin1String("Command3") || name == QLatin1String("MigrateCommand"));
}

bool isFileMenu(const QWidget* widget)
{
    const auto* menu = qobject_cast<const QMenu*>(widget);
    return menu && menu->objectName() == QLatin1String("File");
}

}  // namespace

Monkey::Monkey(JourneyHarness& harness, std::uint64_t seed, Files files)
    : m_h(harness), m_seed(seed), m_random(seed), m_files(std::move(files)),
      m_print(!qEnvironmentVariableIsEmpty("TELLVANE_MONKEY_TRACE"))
{
}

int Monkey::below(int n)
{
    return n <= 1 ? 0 : static_cast<int>(m_random() % static_cast<std::uint64_t>(n));
}

int Monkey::pick(const std::vector<int>& weights)
{
    std::discrete_distribution<int> choice(weights.begin(), weights.end());
    return choice(m_random);
}

bool Monkey::chance(int percent)
{
    return below(100) < percent;
}

void Monkey::note(const QString& what)
{
    const QString line = QStringLiteral("#%1 at %2 ms: %3")
                             .arg(m_steps)
                             .arg(m_h.clock.nowMicroseconds() / 1000)
                             .arg(m_how + what);
    if (m_print)
        std::cout << line.toStdString() << std::endl;
    m_trail.append(line);
    if (m_trail.size() > 40)
        m_trail.removeFirst();
}

void Monkey::arrive(const Input& input)
{
    if (m_h.app->downloader().isRunning())
        ++m_insideStage;
    if (m_h.app->link().draining())
        ++m_insideDrain;
    m_h.deliver(input);
}

void Monkey::step()
{
    ++m_steps;
    prepareFileAnswers();
    m_stageButton = false;
    m_burstAtPress = false;
    const Input input = chooseInput(false);
    // Now and then input piles up while the program works: it arrives in the
    // middle of what the input above starts (a download's lines, a drain).
    if (chance(m_stageButton ? 60 : 12)) {
        const int n = 1 + below(5);
        for (int i = 0; i < n; ++i) {
            if (Input later = chooseInput(true))
                m_burst.push_back(std::move(later));
        }
    }
    if (!m_burstAtPress)
        releaseBurst();
    if (input)
        m_h.deliver(input);
    releaseBurst();
    m_h.settle();
    m_h.pass(fakeMilliseconds());
}

void Monkey::releaseBurst()
{
    // Each waits in the event queue, as input does while the program is busy.
    for (Input& later : m_burst)
        QMetaObject::invokeMethod(this, [this, later = std::move(later)] { arrive(later); }, Qt::QueuedConnection);
    m_burst.clear();
}

int Monkey::fakeMilliseconds()
{
    const int r = below(100);
    if (r < 50)
        return 1 + below(25);
    if (r < 85)
        return 25 + below(100);
    return 100 + below(600);  // long enough for the downloader's and the monitor's timers
}

void Monkey::prepareFileAnswers()
{
    // The open dialog answers with a good file, a broken one, a log, a name
    // with no file, or is cancelled.
    while (m_h.dialogs.fileAnswers.size() < 2) {
        const QString answers[] = {m_files.firmware, m_files.broken.value(below(static_cast<int>(m_files.broken.size()))),
                                   QString(), m_files.log, m_files.missing};
        m_h.dialogs.fileAnswers.append(answers[pick({10, 3, 3, 2, 2})]);
    }
}

Monkey::Input Monkey::chooseInput(bool posted)
{
    m_how = posted ? QStringLiteral("post ") : QStringLiteral("send ");
    m_choosingPosted = posted;
    if (posted && chance(20)) {
        note(QStringLiteral("timers due"));
        return [this] { m_h.runDueTimers(); };
    }
    using Kind = Input (Monkey::*)();
    static const Kind kKinds[] = {&Monkey::click, &Monkey::key, &Monkey::closeWindow, &Monkey::dragWindow,
                                  &Monkey::chooseAdapter};
    return (this->*kKinds[pick({55, 30, 8, 6, 1})])();
}

Monkey::Input Monkey::click()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return clickInPopup(popup);

    // How often a kind of widget is clicked: what acts most, what only shows least
    // (the first kind that fits counts: a clickable label before a label).
    static const std::pair<const QMetaObject*, int> kWeights[] = {
        {&QAbstractButton::staticMetaObject, 6}, {&QAbstractItemView::staticMetaObject, 6},
        {&ClickableLabel::staticMetaObject, 4},  {&QTabBar::staticMetaObject, 4},
        {&QMdiSubWindow::staticMetaObject, 3},   {&QMenuBar::staticMetaObject, 2},
        {&QLineEdit::staticMetaObject, 1},       {&QScrollBar::staticMetaObject, 1},
        {&QLabel::staticMetaObject, 1},          {&QGroupBox::staticMetaObject, 1}};
    std::vector<QWidget*> candidates;
    std::vector<int> weights;
    const QList<QWidget*> all = m_h.main().findChildren<QWidget*>();
    for (QWidget* w : all) {
        const auto kind = std::find_if(std::begin(kWeights), std::end(kWeights),
                                       [w](const auto& k) { return w->metaObject()->inherits(k.first); });
        if (!w->isVisible() || kind == std::end(kWeights))
            continue;
        candidates.push_back(w);
        // The downloader's few controls would rarely be hit among all the others;
        // its stages are where input arrives in the middle of work.
        weights.push_back(inDownloader(w) ? kind->second * 8 : kind->second);
    }
    if (candidates.empty())
        return {};
    QWidget* target = candidates[pick(weights)];

    QPoint local(below(target->width()), below(target->height()));
    QString what = JourneyHarness::describe(target);
    if (auto* view = qobject_cast<QAbstractItemView*>(target)) {
        target = view->viewport();
        local = QPoint(below(target->width()), below(target->height()));
        const int rows = view->model() ? view->model()->rowCount() : 0;
        if (rows > 0 && chance(80)) {
            const int row = below(rows);
            local = view->visualRect(view->model()->index(row, 0)).center();
            what += QStringLiteral(" row %1").arg(row);
        }
    } else if (auto* tabs = qobject_cast<QTabBar*>(target); tabs && tabs->count() > 0) {
        const int tab = below(tabs->count());
        local = tabs->tabRect(tab).center();
        what += QStringLiteral(" tab %1").arg(tab);
    } else if (auto* bar = qobject_cast<QMenuBar*>(target)) {
        const QList<QAction*> menus = bar->actions();
        if (!menus.isEmpty()) {
            QAction* menu = menus[below(static_cast<int>(menus.size()))];
            local = bar->actionGeometry(menu).center();
            what += QStringLiteral(" title ") + menu->text();
        }
    } else if (auto* sub = qobject_cast<QMdiSubWindow*>(target)) {
        const QStyle::SubControl parts[] = {QStyle::SC_TitleBarLabel, QStyle::SC_TitleBarMinButton,
                                            sub->isMaximized() || sub->isMinimized() ? QStyle::SC_TitleBarNormalButton
                                                                                     : QStyle::SC_TitleBarMaxButton,
                                            QStyle::SC_TitleBarSysMenu};
        const QStyle::SubControl control = parts[pick({7, 1, 1, 1})];
        const QPoint p = JourneyHarness::titleBarPoint(sub, control);
        if (p.x() >= 0)
            local = p;
        what += QStringLiteral(" title bar part %1").arg(static_cast<int>(control));
    }
    const QPoint global = target->mapToGlobal(local);
    m_stageButton = m_stageButton || startsAStage(target);
    const bool twice = chance(3);
    // The input sent now lets what piles up behind it in only once the pointer
    // is on its target: moving the pointer runs the event loop.
    const bool releases = !m_choosingPosted;
    m_burstAtPress = m_burstAtPress || releases;
    note((twice ? QStringLiteral("double click ") : QStringLiteral("click ")) + what);
    return [this, global, twice, releases] {
        // Where the pointer lands decides who gets the click, as on a real screen.
        QWidget* hit = QApplication::widgetAt(global);
        if (!hit)
            return;
        if (!JourneyHarness::hover(hit, hit->mapFromGlobal(global)))
            return;
        if (releases)
            releaseBurst();
        if (twice)
            QTest::mouseDClick(hit, Qt::LeftButton, {}, hit->mapFromGlobal(global));
        else
            QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFromGlobal(global));
    };
}

Monkey::Input Monkey::clickInPopup(QWidget* popup)
{
    auto* menu = qobject_cast<QMenu*>(popup);
    QList<QAction*> entries;
    if (menu) {
        const QList<QAction*> actions = menu->actions();
        for (QAction* a : actions) {
            // Exit ends the session; that road has its own journey.
            if (a->isVisible() && !a->isSeparator() && a->objectName() != QLatin1String("Exit"))
                entries.append(a);
        }
    }
    QPointer<QWidget> guard = popup;
    if (entries.isEmpty() || chance(35)) {
        note(QStringLiteral("Escape to ") + JourneyHarness::describe(popup));
        return [guard] {
            if (guard && guard->isVisible())
                QTest::keyClick(guard, Qt::Key_Escape);
        };
    }
    QAction* entry = entries[below(static_cast<int>(entries.size()))];
    const QPoint at = menu->actionGeometry(entry).center();
    note(QStringLiteral("click menu entry ") + entry->text());
    return [guard, at] {
        if (guard && guard->isVisible())
            QTest::mouseClick(guard, Qt::LeftButton, {}, at);
    };
}

Monkey::Input Monkey::key()
{
    static const QKeyCombination kKeys[] = {
        Qt::Key_Left,  Qt::Key_Right, Qt::Key_Up,  Qt::Key_Down,    Qt::Key_Return, Qt::Key_Enter,  Qt::Key_Space,   Qt::Key_Tab,
        Qt::Key_Backtab, Qt::Key_Escape, Qt::Key_Home, Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_F1};
    // Ctrl+F4 closes the active child window, Ctrl+Tab brings the next one.
    static const QKeyCombination kWindowKeys[] = {Qt::ControlModifier | Qt::Key_F4, Qt::ControlModifier | Qt::Key_Tab};
    const int kind = pick({55, 35, 10});  // a key, a letter or digit, a window key
    const int c = below(36);
    const char character = kind == 1 ? static_cast<char>(c < 26 ? 'a' + c : '0' + (c - 26)) : 0;
    const QKeyCombination combo = kind == 0 ? kKeys[below(static_cast<int>(std::size(kKeys)))] : kWindowKeys[below(2)];
    note(QStringLiteral("key ") + (character ? QString(QLatin1Char(character)) : QKeySequence(combo).toString()));
    return [this, combo, character] {
        QWidget* target = m_h.keyTarget();
        if (!target)
            return;
        if (isFileMenu(target)) {
            QTest::keyClick(target, Qt::Key_Escape);  // never Exit
            return;
        }
        if (character)
            QTest::keyClick(target, character);
        else
            QTest::keyClick(target, combo.key(), combo.keyboardModifiers());
    };
}

Monkey::Input Monkey::closeWindow()
{
    const QList<QMdiSubWindow*> subs = m_h.shownSubWindows();
    if (subs.isEmpty())
        return {};
    QPointer<QMdiSubWindow> sub = subs[below(static_cast<int>(subs.size()))];
    const QString what = JourneyHarness::describe(sub->widget());
    const int how = below(100);
    // Ctrl+F4, the other way to close, is among the keys.
    if (how < 50) {
        const QPoint at = JourneyHarness::titleBarPoint(sub, QStyle::SC_TitleBarCloseButton);
        note(QStringLiteral("close box of ") + what);
        return [sub, at] {
            if (sub && JourneyHarness::reachable(sub, at))  // else the click would land elsewhere
                JourneyHarness::clickAt(sub, at);
        };
    }
    if (how < 75) {
        const QPoint at = JourneyHarness::titleBarPoint(sub, QStyle::SC_TitleBarSysMenu);
        const bool pickClose = chance(70);
        note(QStringLiteral("system menu of ") + what + (pickClose ? QStringLiteral(", Close") : QString()));
        return [sub, at, pickClose] {
            if (!sub || !JourneyHarness::reachable(sub, at) || !JourneyHarness::clickAt(sub, at) || !pickClose)
                return;
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (QAction* close = JourneyHarness::entryNamed(menu, QStringLiteral("Close")); close && close->isEnabled())
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(close).center());
        };
    }
    note(QStringLiteral("window system closes ") + what);
    return [sub] {
        if (sub)
            sub->close();
    };
}

Monkey::Input Monkey::dragWindow()
{
    const QList<QMdiSubWindow*> subs = m_h.shownSubWindows();
    if (subs.isEmpty())
        return {};
    QPointer<QMdiSubWindow> sub = subs[below(static_cast<int>(subs.size()))];
    // Somewhere else in the frame, the title bar kept inside it.
    const QSize area = m_h.main().mdiArea()->viewport()->size();
    const QPoint to(below(std::max(1, area.width() - 120)), below(std::max(1, area.height() - 40)));
    const QPoint by = to - sub->pos();
    note(QStringLiteral("drag ") + JourneyHarness::describe(sub->widget()) + QStringLiteral(" to %1,%2").arg(to.x()).arg(to.y()));
    return [sub, by] {
        if (const std::optional<QPoint> at = JourneyHarness::freeTitleBarPoint(sub))
            JourneyHarness::dragFrom(sub, *at, by);
    };
}

Monkey::Input Monkey::chooseAdapter()
{
    const QString name = chance(60) ? QStringLiteral("sim") : QStringLiteral("library");
    note(QStringLiteral("Adapter menu: ") + name);
    return [this, name] {
        QMenuBar* bar = m_h.main().menuBar();
        auto* menu = bar->findChild<QMenu*>(QStringLiteral("Adapter"));
        if (!menu || QApplication::activePopupWidget())
            return;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        if (QAction* entry = JourneyHarness::entryNamed(menu, QStringLiteral("Adapter:") + name); entry && menu->isVisible())
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
    };
}

}  // namespace tellvane::test
