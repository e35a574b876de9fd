#include "trace/TraceWindow.h"

#include "can/CanLink.h"
#include "core/Dialogs.h"
#include "core/Failure.h"
#include "core/SettingsStore.h"
#include "logs/TraceExport.h"
#include "monitor/MessageLine.h"
#include "trace/ChangedBytesDelegate.h"
#include "trace/IdentifierStatsModel.h"
#include "trace/PlainTextDelegate.h"
#include "trace/SignalListModel.h"
#include "trace/TraceReplayBar.h"
#include "trace/TraceTableModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tellvane {

namespace {

QTableView* makeTable(const QString& name, QAbstractItemModel* model, QWidget* parent)
{
    auto* table = new QTableView(parent);
    table->setObjectName(name);
    table->setModel(model);
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setItemDelegate(new PlainTextDelegate(table));
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Widens the first columns to their widest text or their title.
void fitColumns(QTableView* table, std::initializer_list<const char*> widest)
{
    const QFontMetrics metrics = table->fontMetrics();
    const QFontMetrics headerMetrics = table->horizontalHeader()->fontMetrics();
    int column = 0;
    for (const char* text : widest) {
        const QString header = table->model()->headerData(column, Qt::Horizontal).toString();
        table->setColumnWidth(column, std::max(metrics.horizontalAdvance(QLatin1String(text)),
                                               headerMetrics.horizontalAdvance(header)) + 14);
        ++column;
    }
}

}  // namespace

TraceWindow::TraceWindow(TraceWindowServices services, QWidget* parent)
    : MdiChild(parent), m_link(services.link), m_dialogs(services.dialogs), m_folder(std::move(services.folder)),
      m_settings(services.settings), m_signalMenu(std::move(services.signalMenu))
{
    setObjectName(QStringLiteral("BusTrace"));
    setWindowTitle(QStringLiteral("Bus Trace"));
    // Its own ground: what changes in it never repaints the frame behind.
    setAutoFillBackground(true);
    m_recorder.setStats(&m_stats);
    m_recorder.setBusLoad(&m_load);
    m_recorder.attachView(&m_view);
    build(services.clock);
    // "msg=" asks the databases loaded at the time it filters.
    m_view.setMessageNames([this](const TraceFrame& frame) {
        const dbc::Message* message = m_databases.messageOf(frame);
        return message ? message->name : QString();
    });
    if (m_settings) {
        QStringList files;
        for (int n = 1;; ++n) {
            const QString file = m_settings->value(QLatin1String(kDatabasesSection), QStringLiteral("File%1").arg(n));
            if (file.isEmpty())
                break;
            files.append(file);
        }
        loadDatabases(files, false);
    }
}

TraceWindow::~TraceWindow()
{
    setRecording(false);
}

void TraceWindow::build(Clock& clock)
{
    m_tableModel = new TraceTableModel(m_view, this);
    m_tableModel->setDatabases(&m_databases);
    // "Since last" and the frames a second count on the bus's clock, and for
    // a replayed log up to how far it has come.
    m_identifierModel = new IdentifierStatsModel(
        m_stats, [this](std::uint16_t line) { return line == 0 ? m_link.sessionNowUs() : m_recorder.newestTimeUs(line); },
        this);
    m_identifierModel->setDatabases(&m_databases);
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(m_identifierModel);
    sorted->setSortRole(IdentifierStatsModel::SortRole);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("TraceFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter: id=18FEF100/1FFFFF00 rx, pgn=FEF1 !src=21, data=01 ?? 3? (Return applies)"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::returnPressed, this, &TraceWindow::applyFilter);
    m_filterError = new QLabel(this);
    m_filterError->setObjectName(QStringLiteral("TraceFilterError"));
    QPalette red = m_filterError->palette();
    red.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
    m_filterError->setPalette(red);

    m_pause = new QPushButton(QStringLiteral("&Pause"), this);
    m_pause->setObjectName(QStringLiteral("TracePause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        m_tableModel->setPaused(paused);
        m_identifierModel->setPaused(paused);
        m_pause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    });
    auto* clear = new QPushButton(QStringLiteral("C&lear"), this);
    clear->setObjectName(QStringLiteral("TraceClear"));
    clear->setToolTip(QStringLiteral("Forget every frame kept, the identifiers and the figures, and start afresh"));
    connect(clear, &QPushButton::clicked, this, &TraceWindow::clear);
    m_perIdentifier = new QPushButton(QStringLiteral("Per &identifier"), this);
    m_perIdentifier->setObjectName(QStringLiteral("TracePerIdentifier"));
    m_perIdentifier->setCheckable(true);
    connect(m_perIdentifier, &QPushButton::toggled, this, [this](bool on) { m_pages->setCurrentIndex(on ? 1 : 0); });

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("TraceSearch"));
    m_search->setPlaceholderText(QStringLiteral("Find: an expression as the filter takes"));
    connect(m_search, &QLineEdit::returnPressed, this, [this] { find(true); });
    auto* previous = new QPushButton(QStringLiteral("Pre&vious"), this);
    previous->setObjectName(QStringLiteral("TraceFindPrevious"));
    connect(previous, &QPushButton::clicked, this, [this] { find(false); });
    auto* next = new QPushButton(QStringLiteral("&Next"), this);
    next->setObjectName(QStringLiteral("TraceFindNext"));
    connect(next, &QPushButton::clicked, this, [this] { find(true); });

    m_table = makeTable(QStringLiteral("TraceTable"), m_tableModel, this);
    auto* copy = new QAction(QStringLiteral("Copy"), m_table);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TraceWindow::copySelection);
    m_table->addAction(copy);
    // Into the transmit list, to be sent again; the key anywhere in the window.
    auto* toTransmit = new QPushButton(QStringLiteral("Cop&y to Transmit"), this);
    toTransmit->setObjectName(QStringLiteral("TraceCopyToTransmit"));
    toTransmit->setToolTip(QStringLiteral("Append the selected frames to the transmit list (Ctrl+T)"));
    connect(toTransmit, &QPushButton::clicked, this, &TraceWindow::copySelectionToTransmit);
    auto* toTransmitKey = new QAction(QStringLiteral("Copy to Transmit"), this);
    toTransmitKey->setObjectName(QStringLiteral("TraceCopyToTransmitKey"));
    toTransmitKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    toTransmitKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(toTransmitKey, &QAction::triggered, this, &TraceWindow::copySelectionToTransmit);
    addAction(toTransmitKey);
    connect(m_tableModel, &TraceTableModel::scrollToRow, this,
            [this](int row) { m_table->scrollTo(m_tableModel->index(row, 0), QAbstractItemView::PositionAtBottom); });
    // Columns as wide as what they hold, so that the data and its text show whole.
    fitColumns(m_table, {"000000.000000", "000000.0", "18FEF121", "Priority", "3FFFF", "Source", "Destination",
                         "Replay 00", "Length", "FF FF FF FF FF FF FF FF", "ASCIIASCII"});
    m_identifiers = makeTable(QStringLiteral("TraceIdentifiers"), sorted, this);
    fitColumns(m_identifiers, {"18FEF121", "Replay 00", "0000000", "Frames/s", "Period (ms)", "Mean period (ms)",
                               "Length", "FF FF FF FF FF FF FF FF", "Since last (ms)"});
    m_identifiers->setSortingEnabled(true);
    m_identifiers->sortByColumn(IdentifierStatsModel::Identifier, Qt::AscendingOrder);
    m_identifiers->setItemDelegateForColumn(IdentifierStatsModel::Data,
                                            new ChangedBytesDelegate(IdentifierStatsModel::ChangedBytesRole, m_identifiers));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_table);
    m_pages->addWidget(m_identifiers);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TraceWindow::showSignals);

    m_signals = new QTableWidget(0, 3, this);
    m_signals->setObjectName(QStringLiteral("TraceSignals"));
    m_signals->setHorizontalHeaderLabels({QStringLiteral("Signal"), QStringLiteral("Value"), QStringLiteral("Raw")});
    m_signals->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_signals->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_signals->setWordWrap(false);
    m_signals->verticalHeader()->hide();
    m_signals->verticalHeader()->setDefaultSectionSize(m_signals->fontMetrics().height() + 4);
    m_signals->horizontalHeader()->setStretchLastSection(true);
    m_signals->setColumnWidth(0, m_signals->fontMetrics().horizontalAdvance(QStringLiteral("EEC1.EngineSpeed@00")) + 14);
    m_signals->setColumnWidth(1, m_signals->fontMetrics().horizontalAdvance(QStringLiteral("8031.875 rpm")) + 30);
    // The second page: every signal of the databases, found by a part of its name.
    m_signalList = new SignalListModel(this);
    m_signalListFilter = new QSortFilterProxyModel(this);
    m_signalListFilter->setSourceModel(m_signalList);
    m_signalListFilter->setFilterKeyColumn(SignalListModel::SignalColumn);
    m_signalListFilter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_signalFilter = new QLineEdit(this);
    m_signalFilter->setObjectName(QStringLiteral("TraceSignalFilter"));
    m_signalFilter->setPlaceholderText(QStringLiteral("Signals whose name holds..."));
    m_signalFilter->setClearButtonEnabled(true);
    connect(m_signalFilter, &QLineEdit::textChanged, m_signalListFilter, &QSortFilterProxyModel::setFilterFixedString);
    m_allSignals = makeTable(QStringLiteral("TraceAllSignals"), m_signalListFilter, this);
    m_allSignals->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_allSignals->horizontalHeader()->setStretchLastSection(true);
    m_allSignals->setColumnWidth(SignalListModel::SignalColumn, m_signals->columnWidth(0) + 40);
    auto* allPage = new QWidget(this);
    auto* allLayout = new QVBoxLayout(allPage);
    allLayout->setContentsMargins(0, 0, 0, 0);
    allLayout->addWidget(m_signalFilter);
    allLayout->addWidget(m_allSignals);
    m_signalTabs = new QTabWidget(this);
    m_signalTabs->setObjectName(QStringLiteral("TraceSignalTabs"));
    m_signalTabs->addTab(m_signals, QStringLiteral("Fra&me's signals"));
    m_signalTabs->addTab(allPage, QStringLiteral("&All signals"));
    m_signalTabs->setDocumentMode(true);
    // Sources seen since the list was last shown come with it.
    connect(m_signalTabs, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == 1)
            showSignalList();
    });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_signals), static_cast<QAbstractItemView*>(m_allSignals)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](QPoint at) { showSignalMenu(view, at); });
    }

    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("TraceSplit"));
    split->setChildrenCollapsible(false);
    split->addWidget(m_pages);
    split->addWidget(m_signalTabs);
    // A message's signals are often ten or more: the pane opens with room for
    // several of them.
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 1);
    m_signals->setMinimumHeight(m_signals->horizontalHeader()->sizeHint().height()
                                + 4 * m_signals->verticalHeader()->defaultSectionSize());

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("TraceStatus"));

    m_exported = new QLabel(this);
    m_exported->setObjectName(QStringLiteral("TraceExported"));

    m_replay = new TraceReplayBar(m_link, clock, m_dialogs, m_folder, this);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(m_filter, 3);
    filterRow->addWidget(m_pause);
    filterRow->addWidget(clear);
    filterRow->addWidget(m_perIdentifier);
    filterRow->addWidget(toTransmit);
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(m_search, 3);
    findRow->addWidget(previous);
    findRow->addWidget(next);
    findRow->addSpacing(12);
    addRingControls(findRow);
    auto* databases = new QPushButton(QStringLiteral("&Databases..."), this);
    databases->setObjectName(QStringLiteral("TraceDatabases"));
    databases->setToolTip(QStringLiteral("Load a signal database (DBC) that names the messages and decodes their signals"));
    connect(databases, &QPushButton::clicked, this, &TraceWindow::addDatabase);
    findRow->addWidget(databases);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(m_filterError);
    layout->addLayout(findRow);
    m_databaseRow = new QWidget(this);
    m_databaseRow->setLayout(buildDatabaseRow());
    layout->addWidget(m_databaseRow);
    layout->addWidget(split, 1);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_exported);
    layout->addLayout(statusRow);
    layout->addWidget(m_replay);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &TraceWindow::refresh);
    m_filterError->hide();
    // Without a database the window looks as it always did.
    m_databaseRow->hide();
    m_signalTabs->hide();
    showStatus();
}

QHBoxLayout* TraceWindow::buildDatabaseRow()
{
    m_databaseList = new QLabel(this);
    m_databaseList->setObjectName(QStringLiteral("TraceDatabaseList"));
    m_databaseList->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* unload = new QPushButton(QStringLiteral("&Unload"), this);
    unload->setObjectName(QStringLiteral("TraceDatabasesClear"));
    unload->setToolTip(QStringLiteral("Forget every signal database loaded"));
    connect(unload, &QPushButton::clicked, this, &TraceWindow::unloadDatabases);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_databaseList, 1);
    row->addWidget(unload);
    return row;
}

void TraceWindow::addDatabase()
{
    const QString file = m_dialogs.openFileName(QStringLiteral("Load a signal database"), m_folder,
                                                QStringLiteral("Signal databases (*.dbc);;All files (*)"));
    if (file.isEmpty())
        return;
    m_folder = QFileInfo(file).absolutePath();
    loadDatabases({file}, true);
}

void TraceWindow::loadDatabases(const QStringList& files, bool remember)
{
    if (files.isEmpty())
        return;
    QStringList reports;
    for (const QString& file : files)
        reports += m_databases.load(file);
    databasesChanged(reports, remember);
}

void TraceWindow::unloadDatabases()
{
    m_databases.clear();
    databasesChanged({}, true);
}

void TraceWindow::databasesChanged(const QStringList& reports, bool remember)
{
    if (m_settings && remember) {
        const QString section = QLatin1String(kDatabasesSection);
        const QStringList& files = m_databases.files();
        bool written = true;
        // An empty entry ends the list.
        for (int n = 0; n <= files.size(); ++n)
            written = m_settings->setValue(section, QStringLiteral("File%1").arg(n + 1), n < files.size() ? files[n] : QString()) && written;
        if (!written)
            m_dialogs.information(windowTitle(), QStringLiteral("The databases loaded could not be kept for the next start: "
                                                                "%1 cannot be written.").arg(m_settings->fileName()));
    }
    QStringList names;
    for (const QString& file : m_databases.files())
        names.append(QFileInfo(file).fileName());
    QString text = names.isEmpty() ? QStringLiteral("No database loaded") : QStringLiteral("Databases: ") + names.join(QStringLiteral(", "));
    if (!reports.isEmpty())
        text += QStringLiteral("; %1 (%2 reported, see the tool tip)").arg(reports.first()).arg(reports.size());
    m_databaseList->setText(text);
    m_databaseList->setToolTip((QStringList(m_databases.files()) + reports).join(QLatin1Char('\n')));
    m_databaseRow->setVisible(!m_databases.empty() || !reports.isEmpty());
    m_signalTabs->setVisible(!m_databases.empty());
    // The list holds the databases it names: it lets go of unloaded ones now.
    if (m_signalTabs->currentIndex() == 1)
        showSignalList();
    else
        m_signalList->setSignals({});
    // The names may mean other frames now.
    if (!m_view.filter().matchesEverything())
        m_view.rebuild();
    m_tableModel->refresh();
    m_tableModel->setDatabases(&m_databases);
    m_identifierModel->setDatabases(&m_databases);
    showSignals();
    showStatus();
}

void TraceWindow::showSignals()
{
    const QModelIndex current = m_table->currentIndex();
    const TraceFrame* frame = current.isValid() ? m_tableModel->frameAt(current.row()) : nullptr;
    const std::vector<TraceDatabases::SignalRow> rows = frame ? m_databases.signalRows(*frame) : std::vector<TraceDatabases::SignalRow>();
    m_signals->setRowCount(static_cast<int>(rows.size()));
    m_frameSignals.clear();
    int row = 0;
    for (const TraceDatabases::SignalRow& signal : rows) {
        m_frameSignals.push_back(signal.ref);
        const QString texts[] = {signal.name, signal.value, signal.raw};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(signal.comment);
            m_signals->setItem(row, column, item);
        }
        ++row;
    }
    // Long names (a J1939 group's with its source) are shown whole.
    m_signals->resizeColumnToContents(0);
    m_signals->resizeColumnToContents(1);
}

void TraceWindow::showSignalList()
{
    std::vector<TraceDatabases::Identifier> seen;
    seen.reserve(m_stats.rows().size());
    for (const IdentifierStats::Row& row : m_stats.rows())
        seen.push_back({row.id, row.extended});
    m_signalList->setSignals(m_databases.signalList(seen));
    // The columns as wide as their rows need (the table reads a thousand at most);
    // the comment takes the rest.
    for (int column = SignalListModel::SignalColumn; column < SignalListModel::CommentColumn; ++column)
        m_allSignals->resizeColumnToContents(column);
}

void TraceWindow::showSignalMenu(QAbstractItemView* view, QPoint at)
{
    if (!m_signalMenu)
        return;
    // The rows chosen; the one under the pointer when it is not among them.
    const QModelIndex hit = view->indexAt(at);
    if (hit.isValid() && !view->selectionModel()->isRowSelected(hit.row(), hit.parent()))
        view->setCurrentIndex(hit);
    std::vector<dbc::SignalRef> chosen;
    for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
        if (view == m_allSignals) {
            chosen.push_back(m_signalList->ref(m_signalListFilter->mapToSource(index).row()));
        } else if (static_cast<std::size_t>(index.row()) < m_frameSignals.size()) {
            chosen.push_back(m_frameSignals[static_cast<std::size_t>(index.row())]);
        }
    }
    std::sort(chosen.begin(), chosen.end(), [](const dbc::SignalRef& a, const dbc::SignalRef& b) {
        return a.key() < b.key();
    });
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("SignalMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_signalMenu(*menu, chosen);
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(view->viewport()->mapToGlobal(at));
}

void TraceWindow::addRingControls(QHBoxLayout* row)
{
    auto* keepLabel = new QLabel(QStringLiteral("&Keep"), this);
    m_keep = new QComboBox(this);
    m_keep->setObjectName(QStringLiteral("TraceKeep"));
    for (const std::size_t frames : kRingSizes) {
        m_keep->addItem(QStringLiteral("%L1 frames (%2 MB)")
                            .arg(static_cast<qulonglong>(frames))
                            .arg((frames * (sizeof(TraceFrame) + sizeof(std::uint64_t)) + 999'999) / 1'000'000),
                        QVariant::fromValue<qulonglong>(frames));
    }
    m_keep->setCurrentIndex(m_keep->findData(QVariant::fromValue<qulonglong>(m_ring.capacity())));
    m_keep->setToolTip(QStringLiteral("How many of the newest frames the trace keeps; a smaller ring keeps the newest of them"));
    keepLabel->setBuddy(m_keep);
    connect(m_keep, &QComboBox::activated, this,
            [this](int index) { setRingSize(static_cast<std::size_t>(m_keep->itemData(index).toULongLong())); });

    // The menu pops up below the button and the window's events go on.
    auto* exportButton = new QPushButton(QStringLiteral("E&xport..."), this);
    exportButton->setObjectName(QStringLiteral("TraceExport"));
    auto* exportMenu = new QMenu(exportButton);
    exportMenu->setObjectName(QStringLiteral("TraceExportMenu"));
    const std::pair<const char*, Export> exports[] = {{"&All kept frames...", Export::All},
                                                      {"Frames &shown...", Export::Shown},
                                                      {"S&elected frames...", Export::Selected}};
    for (const auto& [text, what] : exports) {
        QAction* action = exportMenu->addAction(QString::fromLatin1(text));
        connect(action, &QAction::triggered, this, [this, what = what] { exportFrames(what); });
    }
    connect(exportButton, &QPushButton::clicked, this,
            [exportButton, exportMenu] { exportMenu->popup(exportButton->mapToGlobal(exportButton->rect().bottomLeft())); });
    row->addWidget(keepLabel);
    row->addWidget(m_keep);
    row->addWidget(exportButton);
}

void TraceWindow::setRecording(bool on)
{
    if (on == m_recording)
        return;
    m_recording = on;
    m_link.setTraceSink(on ? &m_recorder : nullptr);
    if (on)
        m_timer->start();
    else
        m_timer->stop();
}

void TraceWindow::showEvent(QShowEvent* event)
{
    MdiChild::showEvent(event);
    setRecording(true);
    // Opened again, it shows the newest frames, as it goes on to.
    refresh();
    m_table->scrollToBottom();
}

void TraceWindow::hideEvent(QHideEvent* event)
{
    MdiChild::hideEvent(event);
    // A closed trace records and replays nothing: the link goes on at its full pace.
    if (!isVisibleTo(nullptr)) {
        setRecording(false);
        m_replay->stop();
    }
}

void TraceWindow::applyFilter()
{
    if (const std::optional<TraceFilterError> error = m_view.setFilterExpression(m_filter->text())) {
        // The old filter stays; the message names the field.
        m_filterError->setText(QStringLiteral("%1 (the filter \"%2\" stays)").arg(error->message, m_view.filter().expression()));
        m_filterError->show();
        m_filter->setCursorPosition(std::max(0, error->position - 1));
        return;
    }
    m_filterError->hide();
    m_tableModel->refresh();
    showStatus();
}

void TraceWindow::find(bool forward)
{
    TraceFilterError error;
    std::optional<TraceFilter> what = TraceFilter::parse(m_search->text(), &error);
    if (what)
        what->setMessageNames(m_view.messageNames());
    if (!what) {
        m_filterError->setText(QStringLiteral("Find: ") + error.message);
        m_filterError->show();
        return;
    }
    m_filterError->hide();
    const QModelIndex current = m_table->currentIndex();
    const std::ptrdiff_t from = current.isValid() ? current.row() : -1;
    const std::optional<std::size_t> row = forward ? m_view.findNext(from, *what) : m_view.findPrevious(from, *what);
    if (!row || static_cast<int>(*row) >= m_tableModel->rowCount()) {
        QApplication::beep();
        return;
    }
    const QModelIndex index = m_tableModel->index(static_cast<int>(*row), 0);
    m_table->setCurrentIndex(index);
    m_table->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TraceWindow::refresh()
{
    // The second shown ends a little before now: the frames of that moment
    // may still be in the adapter, to be drained at the next poll.
    m_load.advanceTo(m_link.sessionNowUs() - kLateFramesUs);
    // Like a terminal: the table follows the newest frame unless the
    // technician scrolled up to read.
    const QScrollBar* bar = m_table->verticalScrollBar();
    const bool following = !m_tableModel->paused() && bar->value() >= bar->maximum();
    m_tableModel->refresh();
    if (following)
        m_table->scrollToBottom();
    m_identifierModel->refresh();
    showStatus();
}

void TraceWindow::clear()
{
    m_pause->setChecked(false);
    m_ring.clear();
    m_view.rebuild();
    m_stats.clear();
    m_load.clear();
    m_recorder.clearTimes();
    m_exported->clear();
    refresh();
}

void TraceWindow::showStatus()
{
    m_status->setText(QStringLiteral("%1 frames a second, bus load %2 % of 250 kbit/s, %3 errors, %4 overflows; "
                                     "%L5 frames shown of %L6 kept")
                          .arg(m_load.framesPerSecond())
                          .arg(m_load.loadPercent(), 0, 'f', 1)
                          .arg(m_load.errors())
                          .arg(m_load.overflows())
                          .arg(m_tableModel->rowCount())
                          .arg(static_cast<qulonglong>(m_ring.size())));
}

void TraceWindow::setRingSize(std::size_t frames)
{
    if (frames == m_ring.capacity())
        return;
    m_ring.setCapacity(frames);
    m_view.rebuild();
    m_tableModel->refresh();
    showStatus();
}

void TraceWindow::exportFrames(Export what)
{
    // The frames first, so that a dialog that lets the trace run on does not change them.
    std::vector<TraceFrame> frames;
    if (what == Export::Selected) {
        frames = selectedFrames();
    } else if (what == Export::Shown) {
        frames.reserve(static_cast<std::size_t>(m_tableModel->rowCount()));
        for (int row = 0; row < m_tableModel->rowCount(); ++row) {
            if (const TraceFrame* frame = m_tableModel->frameAt(row))
                frames.push_back(*frame);
        }
    } else {
        frames.reserve(m_ring.size());
        for (std::uint64_t seq = m_ring.firstSequence(); seq < m_ring.endSequence(); ++seq)
            frames.push_back(m_ring.bySequence(seq));
    }
    // A log has one time line: the bus's when it is among the frames, else
    // the first replayed log's; frames of other time lines are left out.
    std::size_t otherLines = 0;
    if (!frames.empty()) {
        const bool anyLive = std::any_of(frames.begin(), frames.end(), [](const TraceFrame& f) { return f.line == 0; });
        const std::uint16_t line = anyLive ? 0 : frames.front().line;
        const auto kept = std::remove_if(frames.begin(), frames.end(), [line](const TraceFrame& f) { return f.line != line; });
        otherLines = static_cast<std::size_t>(frames.end() - kept);
        frames.erase(kept, frames.end());
    }
    if (frames.empty()) {
        m_dialogs.information(windowTitle(), QStringLiteral("There are no frames to export."));
        return;
    }
    const QString file = m_dialogs.saveFileName(
        QStringLiteral("Export %L1 frames").arg(static_cast<qulonglong>(frames.size())), m_folder,
        QStringLiteral("Message lines (*.txt);;candump log (*.log);;Vector ASC (*.asc);;CSV (*.csv)"));
    if (file.isEmpty())
        return;
    m_folder = QFileInfo(file).absolutePath();
    if (traceLogFormatOf(file) == TraceLogFormat::Unknown) {
        m_dialogs.information(windowTitle(), QStringLiteral("%1 was not written: the extension names the format, "
                                                            "one of .txt, .log, .asc, .csv.").arg(file));
        return;
    }
    // The bus's frames carry the session's time: a header with a date takes its start.
    const ConvertResult result = exportTraceLog(
        file, frames.size(), [&](std::size_t i) -> const TraceFrame& { return frames[i]; },
        frames.front().line == 0 ? m_link.session().startedAt() : QDateTime());
    if (!result.ok()) {
        m_dialogs.information(windowTitle(), QStringLiteral("The export failed: %1").arg(result.error));
        return;
    }
    QString done = QStringLiteral("%L1 frames exported to %2").arg(result.frames).arg(QFileInfo(file).fileName());
    if (result.skipped > 0)
        done += QStringLiteral("; %L1 frames the format cannot hold left out").arg(result.skipped);
    if (otherLines > 0)
        done += QStringLiteral("; %L1 frames of another time line (a replayed log's) left out")
                    .arg(static_cast<qulonglong>(otherLines));
    for (const QString& note : result.notes)
        done += QStringLiteral("; ") + note;
    m_exported->setText(done);
}

std::vector<TraceFrame> TraceWindow::selectedFrames() const
{
    std::vector<TraceFrame> frames;
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& index : rows) {
        if (const TraceFrame* frame = m_tableModel->frameAt(index.row()))
            frames.push_back(*frame);
    }
    return frames;
}

void TraceWindow::copySelectionToTransmit()
{
    std::vector<TraceFrame> frames = selectedFrames();
    // The tool sends data frames only.
    std::erase_if(frames, [](const TraceFrame& f) { return (f.flags & (TraceFrame::Remote | TraceFrame::Error)) != 0; });
    if (frames.empty()) {
        m_dialogs.beep();
        return;
    }
    emit copyToTransmit(frames);
}

void TraceWindow::copySelection()
{
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const QModelIndex& index : rows) {
        const TraceFrame* frame = m_tableModel->frameAt(index.row());
        if (!frame)
            continue;
        try {
            lines.append(formatMessageLine(TraceRecorder::messageOf(*frame)));
        } catch (const Failure&) {
            // a frame without a line is left out
        }
    }
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

}  // namespace tellvane
