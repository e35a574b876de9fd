#include "trace/TraceReplayBar.h"

#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "trace/TraceRecorder.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <utility>

namespace tellvane {

// The replays of the bus trace; quiet unless QT_LOGGING_RULES asks for it.
Q_LOGGING_CATEGORY(lcTrace, "tellvane.trace", QtWarningMsg)

namespace {
const QString kTitle = QStringLiteral("Bus Trace");
// Read per turn at most: a stretch of lines that are no frames, or a file that
// never ends, takes many turns and leaves the window live between them.
constexpr qint64 kReadSlice = 256 << 10;
}

TraceReplayBar::TraceReplayBar(CanLink& link, Clock& clock, Dialogs& dialogs, QString folder, QWidget* parent)
    : QWidget(parent), m_link(link), m_clock(clock), m_dialogs(dialogs), m_folder(std::move(folder)),
      m_replay(clock, [this](const TraceFrame& frame) { play(frame); })
{
    m_replay.setRegularFilesOnly(true);
    m_replay.setReadSlice(kReadSlice);
    build();
}

TraceReplayBar::~TraceReplayBar() = default;

void TraceReplayBar::build()
{
    m_open = new QPushButton(QStringLiteral("Replay &log..."), this);
    m_open->setObjectName(QStringLiteral("TraceReplayOpen"));
    connect(m_open, &QPushButton::clicked, this, &TraceReplayBar::chooseLog);
    m_ontoBusBox = new QCheckBox(QStringLiteral("Onto the &bus"), this);
    m_ontoBusBox->setObjectName(QStringLiteral("TraceReplayOntoBus"));
    m_ontoBusBox->setToolTip(QStringLiteral("Send the log's frames through the adapter instead of playing them into the program"));

    auto* speedLabel = new QLabel(QStringLiteral("Spee&d"), this);
    m_speed = new QDoubleSpinBox(this);
    m_speed->setObjectName(QStringLiteral("TraceReplaySpeed"));
    m_speed->setRange(TraceReplay::kMinSpeed, TraceReplay::kMaxSpeed);
    m_speed->setDecimals(1);
    m_speed->setSingleStep(0.1);
    m_speed->setValue(1.0);
    m_speed->setSuffix(QStringLiteral(" x"));
    speedLabel->setBuddy(m_speed);
    connect(m_speed, &QDoubleSpinBox::valueChanged, this, [this](double factor) {
        if (m_replay.isOpen() && m_replay.player().setSpeed(factor))
            run();
    });
    m_loop = new QCheckBox(QStringLiteral("Lo&op"), this);
    m_loop->setObjectName(QStringLiteral("TraceReplayLoop"));
    connect(m_loop, &QCheckBox::toggled, this, [this](bool on) {
        if (m_replay.isOpen())
            m_replay.player().setLoop(on);
    });

    m_pause = new QPushButton(QStringLiteral("Pa&use replay"), this);
    m_pause->setObjectName(QStringLiteral("TraceReplayPause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        if (!m_replay.isOpen() || paused == m_replay.player().paused())
            return;
        if (paused)
            m_replay.player().pause();
        else
            m_replay.player().resume();
        run();
    });
    m_step = new QPushButton(QStringLiteral("S&tep"), this);
    m_step->setObjectName(QStringLiteral("TraceReplayStep"));
    connect(m_step, &QPushButton::clicked, this, &TraceReplayBar::stepOnce);
    m_stop = new QPushButton(QStringLiteral("&Stop"), this);
    m_stop->setObjectName(QStringLiteral("TraceReplayStop"));
    connect(m_stop, &QPushButton::clicked, this, &TraceReplayBar::stop);

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("TraceReplayStatus"));
    m_state->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_open);
    row->addWidget(m_ontoBusBox);
    row->addSpacing(8);
    row->addWidget(speedLabel);
    row->addWidget(m_speed);
    row->addWidget(m_loop);
    row->addSpacing(8);
    row->addWidget(m_pause);
    row->addWidget(m_step);
    row->addWidget(m_stop);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(m_state);

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_stepPending)
            stepOnce();
        else
            run();
    });
    showState();
}

bool TraceReplayBar::playing() const
{
    return m_replay.isOpen() && !m_replay.player().finished();
}

void TraceReplayBar::chooseLog()
{
    const QString file = m_dialogs.openFileName(QStringLiteral("Replay a log"), m_folder,
                                                QStringLiteral("Logs (*.txt *.log *.asc *.csv);;All files (*)"));
    if (file.isEmpty())
        return;
    const bool ontoBus = m_ontoBusBox->isChecked();
    if (ontoBus
        && !m_dialogs.question(kTitle, QStringLiteral("Send every frame of %1 onto the bus as the tool's own? "
                                                      "The boards on the bus will act on them.")
                                           .arg(QFileInfo(file).fileName()))) {
        return;
    }
    start(file, ontoBus);
}

void TraceReplayBar::start(const QString& fileName, bool ontoBus)
{
    if (m_delivering) {
        // Once the frame in hand is delivered.
        QTimer::singleShot(0, this, [this, fileName, ontoBus] { start(fileName, ontoBus); });
        return;
    }
    stop();
    m_folder = QFileInfo(fileName).absolutePath();
    m_played = m_leftOut = m_sendFailed = m_badLines = 0;
    m_firstWarning.clear();
    if (!m_replay.open(fileName)) {
        m_dialogs.information(kTitle, QStringLiteral("Cannot replay %1: %2").arg(fileName, m_replay.errorString()));
        showState();
        return;
    }
    m_ontoBus = ontoBus;
    m_line = ontoBus ? 0 : m_link.newPlayedLine();
    m_pass = 0;
    m_passOffsetUs = m_lineUs = 0;
    m_replay.player().setSpeed(m_speed->value());
    m_replay.player().setLoop(m_loop->isChecked());
    m_pause->setChecked(false);
    qCDebug(lcTrace) << "replay of" << fileName << (ontoBus ? "onto the bus" : "into the program") << "at speed"
                     << m_speed->value() << (m_loop->isChecked() ? "looping" : "once");
    run();
}

void TraceReplayBar::stop()
{
    m_timer->stop();
    m_stepPending = false;
    if (m_replay.isOpen())
        qCDebug(lcTrace) << "replay stopped after" << m_played << "frames";
    if (m_replay.isOpen() && !m_replay.player().finished())
        m_replay.player().pause();
    if (m_delivering)
        m_closeAfterDelivery = true;  // the paused player returns first
    else
        m_replay.close();
    showState();
}

void TraceReplayBar::stepOnce()
{
    m_stepPending = false;
    if (!m_replay.isOpen() || m_delivering)
        return;
    m_timer->stop();
    m_delivering = true;
    const bool stepped = m_replay.player().step();
    m_delivering = false;
    if (std::exchange(m_closeAfterDelivery, false)) {
        m_replay.close();
        showState();
        return;
    }
    if (!stepped && m_replay.player().waiting()) {
        m_stepPending = true;
        m_timer->start(0);
    } else if (!stepped) {
        m_dialogs.beep();
    }
    takeWarnings();
    showState();
}

void TraceReplayBar::run()
{
    if (m_delivering)
        return;  // the poll in hand goes on, or sees the pause, and schedules the next
    m_timer->stop();
    m_stepPending = false;
    if (!m_replay.isOpen())
        return;
    m_delivering = true;
    const std::optional<std::int64_t> due = m_replay.player().poll();
    m_delivering = false;
    if (std::exchange(m_closeAfterDelivery, false)) {
        m_replay.close();
        showState();
        return;
    }
    takeWarnings();
    if (!due && m_replay.player().finished())
        qCDebug(lcTrace) << "replay reached the end of its log after" << m_played << "frames";
    if (due)
        m_timer->start(static_cast<int>(std::clamp<std::int64_t>((*due - m_clock.nowMicroseconds() + 999) / 1000, 0,
                                                                 std::numeric_limits<int>::max())));
    showState();
}

void TraceReplayBar::play(const TraceFrame& frame)
{
    if (frame.flags & (TraceFrame::Remote | TraceFrame::Error)) {
        ++m_leftOut;
        return;
    }
    ++m_played;
    if (!m_ontoBus) {
        // On the replay's own time line, whose time goes on from pass to pass.
        if (m_replay.player().passes() != m_pass) {
            m_pass = m_replay.player().passes();
            if (m_played > 1)
                m_passOffsetUs = m_lineUs + TraceReplay::kLoopGapUs;
        }
        m_lineUs = frame.timeUs + m_passOffsetUs;
        TraceFrame onLine = frame;
        onLine.timeUs = m_lineUs;
        CanMessage message = TraceRecorder::messageOf(onLine);
        message.line = m_line;
        m_link.deliverReceived(message);
        return;
    }
    if (sendReplayedFrame(m_link, frame) != ReplaySend::Sent)
        ++m_sendFailed;
}

void TraceReplayBar::takeWarnings()
{
    for (const TraceLogWarning& warning : m_replay.takeWarnings()) {
        if (m_badLines++ == 0)
            m_firstWarning = QStringLiteral("line %1: %2").arg(warning.line).arg(warning.text);
    }
}

void TraceReplayBar::showState()
{
    const bool open = m_replay.isOpen();
    const bool finished = open && m_replay.player().finished();
    m_ontoBusBox->setEnabled(!open || finished);
    m_pause->setEnabled(open && !finished);
    m_step->setEnabled(open && !finished);
    m_stop->setEnabled(open && !finished);
    if (open) {
        const QSignalBlocker quiet(m_pause);
        m_pause->setChecked(m_replay.player().paused() && !finished);
    }
    if (m_replay.fileName().isEmpty()) {
        m_state->setText(QStringLiteral("No log replayed yet"));
        return;
    }
    const QString name = QFileInfo(m_replay.fileName()).fileName();
    const QString where = m_ontoBus ? QStringLiteral("onto the bus") : QStringLiteral("into the program");
    QString text;
    if (!open)
        text = m_played == 0 && !m_replay.errorString().isEmpty()
            ? QStringLiteral("%1 could not be replayed: %2").arg(name, m_replay.errorString())
            : QStringLiteral("Stopped replaying %1 %2: %3 frames").arg(name, where).arg(m_played);
    else if (finished)
        text = QStringLiteral("Replayed %1 %2: %3 frames").arg(name, where).arg(m_played);
    else
        text = QStringLiteral("Replaying %1 %2%3: %4 frames")
                   .arg(name, where, m_replay.player().paused() ? QStringLiteral(" (paused)") : QString())
                   .arg(m_played);
    if (open && m_replay.player().passes() > 1)
        text += QStringLiteral(", pass %1").arg(m_replay.player().passes());
    if (m_leftOut > 0)
        text += QStringLiteral("; %1 remote or error frames left out").arg(m_leftOut);
    if (m_sendFailed > 0)
        text += QStringLiteral("; %1 frames the adapter did not send").arg(m_sendFailed);
    if (m_badLines > 0)
        text += QStringLiteral("; %1 lines skipped, the first at %2").arg(m_badLines).arg(m_firstWarning);
    if (finished && !m_replay.errorString().isEmpty())
        text += QStringLiteral("; the log could not be read to its end: ") + m_replay.errorString();
    m_state->setText(text);
}

}  // namespace tellvane
