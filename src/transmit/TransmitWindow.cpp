#include "transmit/TransmitWindow.h"

#include "can/CanLink.h"
#include "core/Clock.h"
#include "core/Dialogs.h"
#include "core/SettingsStore.h"
#include "logs/LogReplay.h"
#include "transmit/BusShare.h"
#include "transmit/TransmitList.h"
#include "transmit/TransmitModel.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <limits>

namespace tellvane {

namespace {

const QString kFileValue = QStringLiteral("File");
const QString kRecentValue = QStringLiteral("Recent%1");
const QString kListFilter = QStringLiteral("Transmit lists (*.json);;All files (*)");

// "1 row", "3 rows".
QString counted(qsizetype n, const char* thing)
{
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(thing)).arg(n == 1 ? QString() : QStringLiteral("s"));
}

// Draws the rows being sent in bold on a green ground, and lets Escape stop
// everything even while a cell is being edited (the editor takes the key).
class TransmitDelegate final : public QStyledItemDelegate {
public:
    TransmitDelegate(std::function<void()> escape, QObject* parent)
        : QStyledItemDelegate(parent), m_escape(std::move(escape))
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(TransmitModel::RunningRole).toBool()) {
            option->font.setBold(true);
            option->backgroundBrush = QColor(0xCC, 0xEE, 0xCC);
        }
    }
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            m_escape();
        return QStyledItemDelegate::eventFilter(editor, event);
    }

private:
    std::function<void()> m_escape;
};

}  // namespace

TransmitWindow::TransmitWindow(TransmitWindowServices services, QWidget* parent)
    : MdiChild(parent), m_link(services.link), m_clock(services.clock), m_dialogs(services.dialogs),
      m_settings(services.settings), m_dataFolder(std::move(services.dataFolder)), m_folder(m_dataFolder),
      m_scheduler(services.clock, [this](const TraceFrame& frame) { return sendReplayedFrame(m_link, frame) == ReplaySend::Sent; })
{
    setObjectName(QStringLiteral("Transmit"));
    setWindowTitle(QStringLiteral("Transmit"));
    setAutoFillBackground(true);
    for (int i = 1; i <= kMaxRecent; ++i) {
        const QString file = m_settings.value(kSection, kRecentValue.arg(i));
        if (!file.isEmpty() && !m_recent.contains(file))
            m_recent.append(file);
    }
    build();
    restoreWorkingCopy();
}

TransmitWindow::~TransmitWindow()
{
    m_scheduler.stopAll();
}

void TransmitWindow::build()
{
    m_model = new TransmitModel(m_scheduler, this);
    connect(m_model, &TransmitModel::editRefused, this, &TransmitWindow::setStatus);
    connect(m_model, &TransmitModel::listChanged, this, [this] {
        m_modified = true;
        keepWorkingCopy();
        showFile();
    });

    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("TransmitMenuBar"));
    // No mnemonic: Alt+F stays the main window's File menu.
    m_fileMenu = bar->addMenu(QStringLiteral("File"));
    m_fileMenu->setObjectName(QStringLiteral("TransmitFile"));
    buildFileMenu(m_fileMenu);

    auto button = [this](const char* text, const char* name, const char* tip, void (TransmitWindow::*slot)()) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromLatin1(tip));
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    QPushButton* add = button("Add", "TransmitAdd", "Append a row and type its identifier", &TransmitWindow::addRow);
    QPushButton* remove = button("Remove", "TransmitRemove", "Remove the selected rows", &TransmitWindow::removeRows);
    QPushButton* sendNow = button("Send now", "TransmitSendNow", "Send each selected row once, now", &TransmitWindow::sendNow);
    QPushButton* startButton = button("Start", "TransmitStart", "Send the enabled rows that have a period, at their periods",
                     &TransmitWindow::start);
    QPushButton* stopButton = button("Stop all", "TransmitStopAll", "Stop sending at once (Escape)", &TransmitWindow::stopAll);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("TransmitTable"));
    m_table->setModel(m_model);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    m_table->setWordWrap(false);
    m_table->setItemDelegate(new TransmitDelegate([this] { stopAll(); }, m_table));
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // Each column as wide as what it holds or its title.
    const char* const widest[TransmitModel::ColumnCount] = {"EEC1 stand-in", "18FEF1F9", "", "", "3FFFF", "", "",
                                                            "", "FF FF FF FF FF FF FF FF", "3600000", "2147483647",
                                                            "", "0000000"};
    const QFontMetrics metrics = m_table->fontMetrics();
    const QFontMetrics headerMetrics = m_table->horizontalHeader()->fontMetrics();
    for (int column = 0; column < TransmitModel::ColumnCount; ++column) {
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        m_table->setColumnWidth(column, std::max(metrics.horizontalAdvance(QLatin1String(widest[column])),
                                                 headerMetrics.horizontalAdvance(title)) + 16);
    }

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("TransmitStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("TransmitListName"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addSpacing(12);
    buttons->addWidget(sendNow);
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);
    buttons->addStretch(1);
    buttons->addWidget(m_file);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addLayout(buttons);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);

    // Anywhere in the window, whatever has the focus.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &TransmitWindow::stopAll,
                                 Qt::WidgetWithChildrenShortcut);
    escape->setObjectName(QStringLiteral("TransmitEscape"));

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &TransmitWindow::tick);
    setStatus(QStringLiteral("Nothing is sent until Send now or Start is pressed."));
    showFile();
}

void TransmitWindow::buildFileMenu(QMenu* file)
{
    auto entry = [this, file](const char* text, const char* name, QKeySequence key, void (TransmitWindow::*slot)()) {
        QAction* action = file->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);  // the key works in the window, the menu closed
    };
    entry("&New", "TransmitNew", QKeySequence::New, &TransmitWindow::newList);
    entry("&Open...", "TransmitOpen", QKeySequence::Open, &TransmitWindow::openList);
    entry("&Save", "TransmitSave", QKeySequence::Save, &TransmitWindow::save);
    entry("Save &As...", "TransmitSaveAs", QKeySequence(), &TransmitWindow::saveAs);
    m_recentSeparator = file->addSeparator();
    connect(file, &QMenu::aboutToShow, this, &TransmitWindow::fillRecentMenu);
    fillRecentMenu();
}

void TransmitWindow::fillRecentMenu()
{
    // Later: the entry chosen may be the one whose list is being opened.
    for (QAction* old : std::as_const(m_recentActions)) {
        m_fileMenu->removeAction(old);
        old->deleteLater();
    }
    m_recentActions.clear();
    m_recentSeparator->setVisible(!m_recent.isEmpty());
    for (int i = 0; i < m_recent.size(); ++i) {
        const QString file = m_recent[i];
        QAction* action = m_fileMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()));
        action->setObjectName(QStringLiteral("TransmitRecent%1").arg(i + 1));
        action->setToolTip(file);
        action->setStatusTip(file);
        connect(action, &QAction::triggered, this, [this, file] {
            if (!m_modified || m_model->rows().empty()
                || m_dialogs.question(windowTitle(), QStringLiteral("The list has changes that are not saved. Discard them?")))
                openFile(file);
        });
        m_recentActions.append(action);
    }
}

QString TransmitWindow::statusText() const
{
    return m_status->text();
}

void TransmitWindow::setStatus(const QString& text)
{
    m_status->setText(text);
}

void TransmitWindow::showFile()
{
    const QString name = m_fileName.isEmpty() ? QStringLiteral("a list not saved yet") : QFileInfo(m_fileName).fileName();
    m_file->setText(m_modified && !m_fileName.isEmpty() ? name + QStringLiteral(" (changed)") : name);
    m_file->setToolTip(m_fileName);
}

QList<int> TransmitWindow::selectedRows() const
{
    QList<int> rows;
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    for (const QModelIndex& index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TransmitWindow::addRow()
{
    if (m_model->appendRows({TransmitRow{}}) == 0) {
        setStatus(QStringLiteral("A list holds at most %1 rows.").arg(transmitlist::kMaxRows));
        return;
    }
    // Straight on to typing its identifier.
    const QModelIndex identifier = m_model->index(m_model->rowCount() - 1, TransmitModel::Identifier);
    m_table->setCurrentIndex(identifier);
    m_table->scrollTo(identifier);
    m_table->setFocus();
    m_table->edit(identifier);
}

void TransmitWindow::removeRows()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        setStatus(QStringLiteral("Select the rows to remove first."));
        return;
    }
    const QString refused = m_model->removeRowsAt(rows);
    setStatus(refused.isEmpty() ? counted(rows.size(), "row") + QStringLiteral(" removed.") : refused);
}

void TransmitWindow::appendFrames(const std::vector<TraceFrame>& frames)
{
    std::vector<TransmitRow> rows;
    for (const TraceFrame& frame : frames) {
        if (!(frame.flags & (TraceFrame::Remote | TraceFrame::Error)))
            rows.push_back(rowOfFrame(frame));
    }
    const int appended = m_model->appendRows(rows);
    QString text = counted(appended, "frame") + QStringLiteral(" copied from the Bus Trace.");
    if (appended < static_cast<int>(rows.size()))
        text += QStringLiteral(" %1 left out: a list holds at most %2 rows.")
                    .arg(static_cast<int>(rows.size()) - appended)
                    .arg(transmitlist::kMaxRows);
    setStatus(text);
    if (appended > 0) {
        m_table->clearSelection();
        for (int r = m_model->rowCount() - appended; r < m_model->rowCount(); ++r)
            m_table->selectionModel()->select(m_model->index(r, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_table->scrollToBottom();
    }
}

bool TransmitWindow::readyToSend()
{
    if (m_link.interfaceState() != InterfaceState::Ok) {
        setStatus(QStringLiteral("Nothing sent: the link to the adapter is not working."));
        return false;
    }
    if (!m_confirmed) {
        // Once a run: from then on the technician knows where the frames go.
        if (!m_dialogs.question(windowTitle(),
                                QStringLiteral("The frames will go onto the live bus through the adapter \"%1\", and the "
                                               "boards on it will act on them. Send them?")
                                    .arg(m_link.adapter().name()))) {
            setStatus(QStringLiteral("Nothing sent: sending onto the bus was not confirmed."));
            return false;
        }
        m_confirmed = true;
    }
    return true;
}

void TransmitWindow::sendNow()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        setStatus(QStringLiteral("Select the rows to send first."));
        return;
    }
    if (!readyToSend())
        return;
    int sent = 0;
    for (const int r : rows) {
        if (!m_scheduler.sendOnce(m_model->keyOf(r), m_model->row(r))) {
            m_timer->stop();
            setStatus(QStringLiteral("%1 (row %2; %3 sent before it)").arg(m_scheduler.stopReason()).arg(r + 1).arg(counted(sent, "frame")));
            refreshRows(true);
            return;
        }
        ++sent;
    }
    setStatus(counted(sent, "frame") + QStringLiteral(" sent once."));
    refreshRows(true);
}

void TransmitWindow::start()
{
    int toStart = 0;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const TransmitRow& row = m_model->row(r);
        toStart += row.enabled && row.periodic() && !m_scheduler.running(m_model->keyOf(r)) ? 1 : 0;
    }
    if (toStart == 0) {
        setStatus(sending() ? QStringLiteral("Every enabled row that has a period is being sent already.")
                            : QStringLiteral("Nothing to start: no enabled row has a period."));
        return;
    }
    // The rows already running count too: the bus carries them all.
    const QString share = busShareProblem(m_model->rows(), kBitRate);
    if (!share.isEmpty()) {
        m_dialogs.information(windowTitle(), share);
        setStatus(QStringLiteral("Not started: ") + share);
        return;
    }
    if (!readyToSend())
        return;
    if (!sending())
        m_startedOn = &m_link.adapter();
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->row(r).enabled)
            m_scheduler.start(m_model->keyOf(r), m_model->row(r));
    }
    setStatus(QStringLiteral("Sending %1 at %2: Stop all or Escape stops %3.")
                  .arg(counted(toStart, "row"), toStart == 1 ? QStringLiteral("its period") : QStringLiteral("their periods"),
                       toStart == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    refreshRows(true);
    tick();
}

void TransmitWindow::tick()
{
    if (!sending()) {
        m_timer->stop();
        return;
    }
    // Each time before anything goes out: still the bus it was started on, and still there.
    if (&m_link.adapter() != m_startedOn) {
        stopSending(QStringLiteral("Stopped: the adapter was switched."));
        return;
    }
    if (m_link.interfaceState() != InterfaceState::Ok) {
        stopSending(QStringLiteral("Stopped: the link to the adapter was lost."));
        return;
    }
    const std::optional<std::int64_t> due = m_scheduler.poll();
    if (!sending()) {
        m_timer->stop();
        setStatus(m_scheduler.stopReason().isEmpty() ? QStringLiteral("Done: every row sent its count.")
                                                     : m_scheduler.stopReason());
        refreshRows(true);
        return;
    }
    const std::int64_t now = m_clock.nowMicroseconds();
    const std::int64_t waitUs = due ? std::max<std::int64_t>(0, *due - now) : 0;
    m_timer->start(static_cast<int>(std::min<std::int64_t>((waitUs + 999) / 1000, std::numeric_limits<int>::max())));
    // A long wait shows the counts now; short ones at the refresh's pace.
    refreshRows(waitUs >= std::int64_t{kRefreshMs} * 1000);
}

void TransmitWindow::refreshRows(bool now)
{
    const std::int64_t at = m_clock.nowMicroseconds();
    if (!now && at - m_refreshedUs < std::int64_t{kRefreshMs} * 1000)
        return;
    m_refreshedUs = at;
    m_model->refreshSending();
}

void TransmitWindow::stopAll()
{
    const bool was = sending();
    m_scheduler.stopAll();
    m_timer->stop();
    if (was) {
        setStatus(QStringLiteral("Stopped: nothing more is sent."));
        refreshRows(true);
    }
}

void TransmitWindow::stopSending(const QString& why)
{
    const bool was = sending();
    m_scheduler.stopAll(why);
    m_timer->stop();
    if (was) {
        setStatus(why);
        refreshRows(true);
    }
}

void TransmitWindow::hideEvent(QHideEvent* event)
{
    MdiChild::hideEvent(event);
    // Closed: nothing goes out from a window the technician cannot see. A
    // window minimised in the frame, or the program's, goes on.
    const QMdiSubWindow* sub = subWindow();
    if (!event->spontaneous() && !isVisibleTo(nullptr) && !(sub && sub->isMinimized()))
        stopSending(QStringLiteral("Stopped: the window was closed."));
}

void TransmitWindow::listReplaced(std::vector<TransmitRow> rows, const QString& file)
{
    stopSending(QStringLiteral("Stopped: another list was taken."));
    m_scheduler.clearCounts();
    m_model->setRows(std::move(rows));
    m_fileName = file;
    m_modified = false;
    m_settings.setValue(kSection, kFileValue, file);
    keepWorkingCopy();
    showFile();
}

void TransmitWindow::newList()
{
    if (m_modified && !m_model->rows().empty()
        && !m_dialogs.question(windowTitle(), QStringLiteral("The list has changes that are not saved. Discard them?")))
        return;
    listReplaced({}, QString());
    setStatus(QStringLiteral("A new list."));
}

void TransmitWindow::openList()
{
    if (m_modified && !m_model->rows().empty()
        && !m_dialogs.question(windowTitle(), QStringLiteral("The list has changes that are not saved. Discard them?")))
        return;
    const QString file = m_dialogs.openFileName(QStringLiteral("Open a transmit list"), m_folder, kListFilter);
    if (!file.isEmpty())
        openFile(file);
}

void TransmitWindow::openFile(const QString& file)
{
    m_folder = QFileInfo(file).absolutePath();
    transmitlist::Loaded loaded = transmitlist::load(file);
    if (!loaded.ok()) {
        m_dialogs.information(windowTitle(), QStringLiteral("Cannot open %1: %2").arg(file, loaded.error));
        if (!QFileInfo::exists(file) && m_recent.removeAll(QFileInfo(file).absoluteFilePath()) > 0)
            noteRecent({});
        return;
    }
    const std::size_t count = loaded.rows.size();
    listReplaced(std::move(loaded.rows), QFileInfo(file).absoluteFilePath());
    noteRecent(m_fileName);
    QString text = QStringLiteral("%1 from %2.").arg(counted(static_cast<qsizetype>(count), "row"), QFileInfo(file).fileName());
    if (!loaded.warnings.isEmpty())
        text += QStringLiteral(" %1 left out; %2.").arg(counted(loaded.warnings.size(), "row"), loaded.warnings.first());
    setStatus(text);
}

void TransmitWindow::save()
{
    if (m_fileName.isEmpty())
        saveAs();
    else
        saveTo(m_fileName);
}

void TransmitWindow::saveAs()
{
    QString file = m_dialogs.saveFileName(QStringLiteral("Save the transmit list"), m_folder, kListFilter);
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".json");
    saveTo(file);
}

bool TransmitWindow::saveTo(const QString& file)
{
    QString error;
    if (!transmitlist::save(file, m_model->rows(), error)) {
        m_dialogs.information(windowTitle(), QStringLiteral("The list was not saved to %1: %2").arg(file, error));
        return false;
    }
    m_folder = QFileInfo(file).absolutePath();
    m_fileName = QFileInfo(file).absoluteFilePath();
    m_modified = false;
    m_settings.setValue(kSection, kFileValue, m_fileName);
    noteRecent(m_fileName);
    showFile();
    setStatus(QStringLiteral("Saved to %1.").arg(QFileInfo(file).fileName()));
    return true;
}

void TransmitWindow::noteRecent(const QString& file)
{
    if (!file.isEmpty()) {
        m_recent.removeAll(file);
        m_recent.prepend(file);
    }
    while (m_recent.size() > kMaxRecent)
        m_recent.removeLast();
    for (int i = 0; i < kMaxRecent; ++i)
        m_settings.setValue(kSection, kRecentValue.arg(i + 1), m_recent.value(i));
    fillRecentMenu();
}

void TransmitWindow::keepWorkingCopy()
{
    QString error;
    QDir().mkpath(m_dataFolder);
    if (!transmitlist::save(workingCopyFile(), m_model->rows(), error))
        setStatus(QStringLiteral("The list could not be kept for the next start: %1").arg(error));
}

void TransmitWindow::restoreWorkingCopy()
{
    if (!QFileInfo::exists(workingCopyFile()))
        return;
    transmitlist::Loaded loaded = transmitlist::load(workingCopyFile());
    if (!loaded.ok()) {
        setStatus(QStringLiteral("The last list could not be read (%1): a new list.").arg(loaded.error));
        return;
    }
    m_model->setRows(std::move(loaded.rows));
    m_fileName = m_settings.value(kSection, kFileValue);
    // Changed since it was saved, when its file says otherwise.
    if (!m_fileName.isEmpty()) {
        const transmitlist::Loaded saved = transmitlist::load(m_fileName);
        m_modified = !saved.ok() || saved.rows != m_model->rows();
    }
    if (!loaded.warnings.isEmpty())
        setStatus(QStringLiteral("The last list is back; %1 left out: %2.")
                      .arg(counted(loaded.warnings.size(), "row"), loaded.warnings.first()));
    showFile();
}

}  // namespace tellvane
