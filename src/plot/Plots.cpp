#include "plot/Plots.h"

#include "diagnostics/BoardWindow.h"
#include "diagnostics/IndicatorInfo.h"
#include "plot/BoardTap.h"
#include "can/CanLink.h"
#include "plot/PlotWindow.h"
#include "plot/SignalTap.h"
#include "plot/ValueRecorder.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTimer>

#include <algorithm>

namespace tellvane {

Plots::Plots(PlotsServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_signalTap(std::make_unique<SignalTap>())
{
}

Plots::~Plots()
{
    if (m_signalTapListening && m_services.link)
        m_services.link->removeTraceListener(m_signalTap.get());
    m_signalTapListening = false;
    // The screens that outlive this (none in the program) must not call a tap that is gone.
    for (auto& [window, tap] : m_taps) {
        if (window->screen().observer() == tap.get())
            window->screen().setObserver(nullptr);
    }
    // Plot windows still open (not in the program, where the main window
    // closes them first) would tell this of their series as they go.
    for (const QPointer<PlotWindow>& w : m_windows) {
        if (!w)
            continue;
        if (QMdiSubWindow* sub = w->subWindow())
            delete sub;
        else
            delete w.data();
    }
}

QString Plots::boardTag(const BoardWindow& window)
{
    return window.positionSection() + QLatin1Char('_') + window.addressText();
}

BoardTap* Plots::findTap(const BoardWindow& window) const
{
    const auto it = m_taps.find(const_cast<BoardWindow*>(&window));
    return it == m_taps.end() ? nullptr : it->second.get();
}

BoardTap& Plots::tapFor(BoardWindow& window)
{
    if (BoardTap* tap = findTap(window))
        return *tap;
    auto tap = std::make_unique<BoardTap>(
        [this](BoardTap& closed) { tapClosed(closed); },
        [this](BoardTap& rebuilt, const std::vector<BoardTap::Kept>& kept, const std::vector<PlotSeries*>& ended) {
            tapRebuilt(rebuilt, kept, ended);
        });
    BoardTap& made = *tap;
    m_taps.emplace(&window, std::move(tap));
    window.screen().setObserver(&made);
    return made;
}

bool Plots::observes(const BoardWindow& window) const
{
    BoardTap* tap = findTap(window);
    return tap && const_cast<BoardWindow&>(window).screen().observer() == tap;
}

void Plots::endSeries(PlotSeries* series)
{
    const auto it = m_fed.find(series);
    if (it == m_fed.end())
        return;
    if (PlotWindow* w = it->second.second)
        w->setSeriesEnded(series, true);
    m_fed.erase(it);
}

void Plots::retire(BoardTap& tap)
{
    for (auto it = m_taps.begin(); it != m_taps.end(); ++it) {
        if (it->second.get() == &tap) {
            if (it->first->screen().observer() == &tap)
                it->first->screen().setObserver(nullptr);
            // The tap may be on the call stack: it goes after the call.
            m_closedTaps.push_back(std::move(it->second));
            m_taps.erase(it);
            QTimer::singleShot(0, this, [this] { m_closedTaps.clear(); });
            return;
        }
    }
}

void Plots::tapClosed(BoardTap& tap)
{
    for (PlotSeries* series : tap.series())
        endSeries(series);
    retire(tap);
}

void Plots::tapRebuilt(BoardTap& tap, const std::vector<BoardTap::Kept>& kept, const std::vector<PlotSeries*>& ended)
{
    for (const BoardTap::Kept& k : kept) {
        const auto it = m_fed.find(k.series);
        if (it != m_fed.end() && it->second.second)
            it->second.second->setSeriesIndicator(k.series, k.indicator);
    }
    for (PlotSeries* series : ended)
        endSeries(series);
    if (tap.idle())
        retire(tap);
}

void Plots::releaseIfIdle(BoardTap* tap)
{
    if (tap && tap->idle())
        retire(*tap);
}

void Plots::seriesGone(PlotSeries* series)
{
    if (m_signalFed.erase(series) > 0) {
        m_signalTap->removeSeries(series);
        updateSignalTap();
        return;
    }
    const auto it = m_fed.find(series);
    if (it == m_fed.end())
        return;
    BoardTap* tap = it->second.first;
    m_fed.erase(it);
    tap->removeSeries(series);
    releaseIfIdle(tap);
}

PlotWindow* Plots::newWindow()
{
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), nullptr), m_windows.end());
    auto* w = new PlotWindow(QStringLiteral("Plot %1").arg(m_nextNumber++), PlotWindowServices{.dialogs = m_services.dialogs, .folder = m_services.folder},
                             [this](PlotSeries* series) { seriesGone(series); });
    m_windows.emplace_back(w);
    if (m_services.showWindow)
        m_services.showWindow(*w);
    return w;
}

std::vector<PlotWindow*> Plots::windows() const
{
    std::vector<PlotWindow*> open;
    for (const QPointer<PlotWindow>& w : m_windows) {
        if (w)
            open.push_back(w);
    }
    return open;
}

PlotWindow* Plots::plot(BoardWindow& window, int cntrlIndex, PlotWindow* into)
{
    if (!window.inDiagnosticMode())
        return nullptr;
    const std::optional<IndicatorInfo> info = indicatorOf(window.screen().definition(), cntrlIndex);
    if (!info)
        return nullptr;
    const QString board = window.windowTitle();
    // The same indicator again goes on its own line, even in a full window:
    // after the board's screen went and came back, the line goes on.
    PlotWindow* target = into && (into->acceptsMore() || into->seriesFor(board, *info)) ? into : newWindow();
    PlotSeries* series = target->seriesFor(board, *info);
    if (!series) {
        series = target->addSeries(board, *info);
    } else if (target->seriesEnded(series)) {
        target->setSeriesEnded(series, false);
    } else {
        series = nullptr;  // fed already
    }
    if (series) {
        BoardTap& tap = tapFor(window);
        tap.addSeries(info->cntrlIndex, series, &target->timeLine());
        m_fed[series] = {&tap, target};
    }
    showPlot(*target);
    return target;
}

void Plots::showPlot(PlotWindow& window)
{
    if (QMdiSubWindow* sub = window.subWindow()) {
        sub->show();
        if (sub->mdiArea())
            sub->mdiArea()->setActiveSubWindow(sub);
    }
}

void Plots::updateSignalTap()
{
    const bool wanted = !m_signalTap->idle() && m_services.link;
    if (wanted == m_signalTapListening)
        return;
    if (wanted)
        m_services.link->addTraceListener(m_signalTap.get());
    else if (m_services.link)
        m_services.link->removeTraceListener(m_signalTap.get());
    m_signalTapListening = wanted;
}

PlotWindow* Plots::plotSignal(const dbc::SignalRef& signal, PlotWindow* into)
{
    if (!signal.valid())
        return nullptr;
    const QString key = signal.key();
    const ValueScale scale = SignalTap::scaleOf(*signal.signal);
    PlotWindow* target = into && (into->acceptsMore() || into->seriesFor(key, scale)) ? into : newWindow();
    PlotSeries* series = target->seriesFor(key, scale);
    if (!series) {
        series = target->addSeries(key, signal.signal->unit, SignalTap::seriesOf(*signal.signal));
        m_signalTap->addSeries(signal, series, &target->timeLine());
        m_signalFed[series] = target;
        updateSignalTap();
    }
    showPlot(*target);
    return target;
}

bool Plots::startSignalRecording(const std::vector<dbc::SignalRef>& signalList)
{
    if (m_signalTap->recorder() && m_signalTap->recorder()->isOpen())
        return true;
    std::vector<dbc::SignalRef> valid;
    std::copy_if(signalList.begin(), signalList.end(), std::back_inserter(valid),
                 [](const dbc::SignalRef& s) { return s.valid(); });
    if (valid.empty())
        return false;
    std::unique_ptr<ValueRecorder> recorder = SignalTap::recorderFor(valid);
    const QString name = m_services.recordingFileName ? m_services.recordingFileName(QStringLiteral("Signals")) : QString();
    if (name.isEmpty() || !recorder->open(name))
        return false;
    m_signalTap->setRecorder(std::move(recorder), valid);
    updateSignalTap();
    return true;
}

void Plots::stopSignalRecording()
{
    m_signalTap->takeRecorder();  // closed as it goes
    updateSignalTap();
}

const ValueRecorder* Plots::signalRecording() const
{
    const ValueRecorder* recorder = m_signalTap->recorder();
    return recorder && recorder->isOpen() ? recorder : nullptr;
}

void Plots::addPlotInMenu(QMenu& menu, std::function<void(PlotWindow*)> plotInto)
{
    const std::vector<PlotWindow*> open = windows();
    if (open.empty())
        return;
    QMenu* into = menu.addMenu(QStringLiteral("Plot in"));
    into->setObjectName(QStringLiteral("PlotIn"));
    into->menuAction()->setObjectName(QStringLiteral("PlotIn"));
    for (PlotWindow* target : open) {
        QAction* action = into->addAction(target->windowTitle());
        action->setObjectName(QStringLiteral("PlotIn:") + target->windowTitle());
        action->setEnabled(target->acceptsMore());
        const QPointer<PlotWindow> guarded(target);
        connect(action, &QAction::triggered, this, [plotInto, guarded] {
            if (guarded)
                plotInto(guarded);
        });
    }
}

void Plots::addStopRecordingAction(QMenu& menu, const ValueRecorder& recorder, std::function<void()> stop)
{
    QString text = QStringLiteral("Stop recording (%1 rows to %2")
                       .arg(recorder.rows())
                       .arg(QFileInfo(recorder.fileName()).fileName());
    if (const QString leftOut = recorder.timeLine().leftOutText(); !leftOut.isEmpty())
        text += QStringLiteral("; ") + leftOut;
    QAction* action = menu.addAction(text + QLatin1Char(')'));
    action->setObjectName(QStringLiteral("StopRecording"));
    connect(action, &QAction::triggered, this, std::move(stop));
}

void Plots::fillSignalMenu(QMenu& menu, const std::vector<dbc::SignalRef>& signalList)
{
    std::vector<dbc::SignalRef> chosen;
    std::copy_if(signalList.begin(), signalList.end(), std::back_inserter(chosen),
                 [](const dbc::SignalRef& s) { return s.valid(); });
    if (!chosen.empty()) {
        // One new window for the signals chosen together, while it takes more.
        QAction* plotAction = menu.addAction(chosen.size() == 1 ? QStringLiteral("Plot ") + chosen.front().key()
                                                                : QStringLiteral("Plot %1 signals").arg(chosen.size()));
        plotAction->setObjectName(QStringLiteral("PlotSignal"));
        // More than a window holds would open window after window.
        if (chosen.size() > static_cast<std::size_t>(PlotWindow::kMostSeries)) {
            plotAction->setEnabled(false);
            plotAction->setText(plotAction->text() + QStringLiteral(" (at most %1 at a time)").arg(PlotWindow::kMostSeries));
        }
        connect(plotAction, &QAction::triggered, this, [this, chosen] {
            PlotWindow* into = nullptr;
            for (const dbc::SignalRef& s : chosen)
                into = plotSignal(s, into);
        });
        if (plotAction->isEnabled()) {
            addPlotInMenu(menu, [this, chosen](PlotWindow* in) {
                for (const dbc::SignalRef& s : chosen)
                    in = plotSignal(s, in);
            });
        }
    }
    menu.addSeparator();
    if (const ValueRecorder* recorder = signalRecording()) {
        addStopRecordingAction(menu, *recorder, [this] { stopSignalRecording(); });
    } else if (!chosen.empty()) {
        QAction* record = menu.addAction(chosen.size() == 1 ? QStringLiteral("Record ") + chosen.front().key()
                                                            : QStringLiteral("Record %1 signals").arg(chosen.size()));
        record->setObjectName(QStringLiteral("RecordSignals"));
        record->setToolTip(QStringLiteral("Every value of these signals to a CSV file beside the save log"));
        connect(record, &QAction::triggered, this, [this, chosen] { startSignalRecording(chosen); });
    }
}

bool Plots::startRecording(BoardWindow& window)
{
    if (!window.inDiagnosticMode())
        return false;
    if (recording(window))
        return true;
    auto recorder = std::make_unique<ValueRecorder>(screenIndicators(window.screen().definition()));
    const QString name = m_services.recordingFileName ? m_services.recordingFileName(boardTag(window)) : QString();
    if (name.isEmpty() || !recorder->open(name))
        return false;
    tapFor(window).setRecorder(std::move(recorder));
    return true;
}

void Plots::stopRecording(BoardWindow& window)
{
    BoardTap* tap = findTap(window);
    if (!tap || !tap->recorder())
        return;
    tap->takeRecorder();  // closed as it goes
    releaseIfIdle(tap);
}

const ValueRecorder* Plots::recording(const BoardWindow& window) const
{
    BoardTap* tap = findTap(window);
    ValueRecorder* recorder = tap ? tap->recorder() : nullptr;
    return recorder && recorder->isOpen() ? recorder : nullptr;
}

void Plots::fillScreenMenu(QMenu& menu, BoardWindow& window, int cntrlIndex)
{
    if (!window.inDiagnosticMode())
        return;
    // The menu stays open while frames come in: each entry makes sure its
    // window and screen are still the ones it was offered for.
    const QPointer<BoardWindow> w(&window);
    const std::uint64_t generation = window.screen().generation();
    auto current = [w, generation]() -> BoardWindow* {
        return w && w->inDiagnosticMode() && w->screen().generation() == generation ? w.data() : nullptr;
    };
    const std::vector<IndicatorInfo> indicators = screenIndicators(window.screen().definition());
    const auto hit = std::find_if(indicators.begin(), indicators.end(),
                                  [cntrlIndex](const IndicatorInfo& i) { return i.cntrlIndex == cntrlIndex; });
    if (hit != indicators.end()) {
        const int index = hit->cntrlIndex;
        QAction* plotAction = menu.addAction(QStringLiteral("Plot ") + hit->caption);
        plotAction->setObjectName(QStringLiteral("Plot"));
        connect(plotAction, &QAction::triggered, this, [this, current, index] {
            if (BoardWindow* board = current())
                plot(*board, index);
        });
        addPlotInMenu(menu, [this, current, index](PlotWindow* in) {
            if (BoardWindow* board = current())
                plot(*board, index, in);
        });
    } else if (!indicators.empty()) {
        // Nothing under the pointer (or the menu key): every value of the screen.
        QMenu* values = menu.addMenu(QStringLiteral("Plot"));
        values->setObjectName(QStringLiteral("PlotValue"));
        values->menuAction()->setObjectName(QStringLiteral("PlotValue"));
        for (const IndicatorInfo& info : indicators) {
            QAction* action = values->addAction(info.caption);
            action->setObjectName(QStringLiteral("Plot:") + QString::number(info.cntrlIndex));
            const int index = info.cntrlIndex;
            connect(action, &QAction::triggered, this, [this, current, index] {
                if (BoardWindow* board = current())
                    plot(*board, index);
            });
        }
    }
    menu.addSeparator();
    if (const ValueRecorder* recorder = recording(window)) {
        addStopRecordingAction(menu, *recorder, [this, w] {
            if (w)
                stopRecording(*w);
        });
    } else {
        QAction* record = menu.addAction(QStringLiteral("Record"));
        record->setObjectName(QStringLiteral("Record"));
        record->setToolTip(QStringLiteral("Every value of this screen to a CSV file beside the save log"));
        connect(record, &QAction::triggered, this, [this, current] {
            if (BoardWindow* board = current())
                startRecording(*board);
        });
    }
}

}  // namespace tellvane
