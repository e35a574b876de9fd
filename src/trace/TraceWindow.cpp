#include "trace/TraceWindow.h"

#include "can/CanLink.h"
#include "core/Failure.h"
#include "monitor/MessageLine.h"
#include "trace/IdentifierStatsModel.h"
#include "trace/TraceTableModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QTableView>
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
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

}  // namespace

TraceWindow::TraceWindow(CanLink& link, QWidget* parent) : MdiChild(parent), m_link(link)
{
    setObjectName(QStringLiteral("BusTrace"));
    setWindowTitle(QStringLiteral("Bus Trace"));
    m_recorder.setStats(&m_stats);
    m_recorder.setBusLoad(&m_load);
    m_recorder.attachView(&m_view);
    build();
}

TraceWindow::~TraceWindow()
{
    setRecording(false);
}

void TraceWindow::build()
{
    m_tableModel = new TraceTableModel(m_view, this);
    m_identifierModel = new IdentifierStatsModel(m_stats, this);
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(m_identifierModel);

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
    connect(m_tableModel, &TraceTableModel::scrollToRow, this,
            [this](int row) { m_table->scrollTo(m_tableModel->index(row, 0), QAbstractItemView::PositionAtBottom); });
    // Columns as wide as what they hold, so that the data and its text show whole.
    const char* widest[] = {"000000.000000", "18FEF121", "Priority", "3FFFF", "Source", "Destination", "Direction",
                            "Length", "FF FF FF FF FF FF FF FF"};
    for (int column = 0; column < static_cast<int>(std::size(widest)); ++column) {
        const QString header = m_tableModel->headerData(column, Qt::Horizontal).toString();
        const QFontMetrics metrics = m_table->fontMetrics();
        m_table->setColumnWidth(column, std::max(metrics.horizontalAdvance(QLatin1String(widest[column])),
                                                 m_table->horizontalHeader()->fontMetrics().horizontalAdvance(header)) + 14);
    }
    m_identifiers = makeTable(QStringLiteral("TraceIdentifiers"), sorted, this);
    m_identifiers->setSortingEnabled(true);
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_table);
    m_pages->addWidget(m_identifiers);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("TraceStatus"));

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(m_filter, 3);
    filterRow->addWidget(m_pause);
    filterRow->addWidget(m_perIdentifier);
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(m_search, 3);
    findRow->addWidget(previous);
    findRow->addWidget(next);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(m_filterError);
    layout->addLayout(findRow);
    layout->addWidget(m_pages, 1);
    layout->addWidget(m_status);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &TraceWindow::refresh);
    m_filterError->hide();
    showStatus();
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
}

void TraceWindow::hideEvent(QHideEvent* event)
{
    MdiChild::hideEvent(event);
    // A closed trace records nothing: the link goes on at its full pace.
    if (!isVisibleTo(nullptr))
        setRecording(false);
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
    const std::optional<TraceFilter> what = TraceFilter::parse(m_search->text(), &error);
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
    m_load.advanceTo(m_recorder.lastTimeUs());
    m_tableModel->refresh();
    m_identifierModel->refresh(m_recorder.lastTimeUs());
    showStatus();
}

void TraceWindow::showStatus()
{
    m_status->setText(QStringLiteral("%1 frames a second, bus load %2 % of 250 kbit/s, %3 error frames; %4 frames shown of %5 kept")
                          .arg(m_load.framesPerSecond())
                          .arg(m_load.loadPercent(), 0, 'f', 1)
                          .arg(m_load.errors())
                          .arg(m_tableModel->rowCount())
                          .arg(m_ring.size()));
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
