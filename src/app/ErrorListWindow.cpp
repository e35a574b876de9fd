#include "app/ErrorListWindow.h"

#include <QMdiSubWindow>

#include "app/ErrorLog.h"
#include "core/SettingsStore.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

namespace tellvane {

namespace {
const QString kSection = QStringLiteral("ErrorForm");
}

ErrorListWindow::ErrorListWindow(ErrorLog& log, SettingsStore& settings, QWidget* parent)
    : MdiChild(parent), m_log(log), m_settings(settings)
{
    setObjectName(QStringLiteral("ErrorForm"));
    setWindowTitle(QStringLiteral("Error List"));

    auto* heading = new QLabel(QStringLiteral("Errors and Warnings"), this);
    heading->setObjectName(QStringLiteral("Label1_0"));
    placeTwips(heading, 120, 60, 3000, 255);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("ErrorList"));
    m_list->setModel(&m_log.lines());
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    placeTwips(m_list, 120, 360, 7815, 2055);

    auto* countCaption = new QLabel(QStringLiteral("Total Errors and Warning:"), this);
    countCaption->setObjectName(QStringLiteral("Label1_1"));
    placeTwips(countCaption, 120, 2535, 2295, 255);

    m_counter = new QLineEdit(QStringLiteral("0"), this);
    m_counter->setObjectName(QStringLiteral("Text1"));
    m_counter->setReadOnly(true);
    placeTwips(m_counter, 2520, 2505, 975, 300);

    auto* clear = new QPushButton(QStringLiteral("Clear List"), this);
    clear->setObjectName(QStringLiteral("Command1"));
    placeTwips(clear, 6480, 2490, 1455, 345);
    connect(clear, &QPushButton::clicked, &m_log, &ErrorLog::clear);

    connect(&m_log, &ErrorLog::countChanged, this,
            [this](int count) { m_counter->setText(QString::number(count)); });
    // The newest line becomes the top visible line.
    connect(&m_log.lines(), &LineListModel::flushed, this, [this] {
        const int last = m_log.lines().rowCount() - 1;
        if (last >= 0)
            m_list->scrollTo(m_log.lines().index(last), QAbstractItemView::PositionAtTop);
    });
    m_counter->setText(QString::number(m_log.count()));
}

void ErrorListWindow::load()
{
    setOuterSizeTwips(kWidthTwips, kHeightTwips);
    const SettingsStore::Position p = m_settings.position(kSection);
    if (!moveToKeptPlaceTwips(p.top, p.left))
        moveOuterTwips(0, 0);  // where it opens when no place was kept
}

void ErrorListWindow::closeEvent(QCloseEvent* event)
{
    // Only a window that was open has a place of its own to keep: closing the
    // program closes the hidden one too.
    if (QMdiSubWindow* sub = subWindow(); !sub || (sub->isVisible() && !sub->isMinimized()))
        m_settings.savePosition(kSection, outerTopTwips(), outerLeftTwips());
    m_log.windowClosed();
    event->accept();
    emit closed();
}

}  // namespace tellvane
