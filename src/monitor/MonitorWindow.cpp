#include "monitor/MonitorWindow.h"

#include "core/LineListModel.h"
#include "core/SettingsStore.h"
#include "monitor/LogPlayback.h"
#include "monitor/ModeImages.h"
#include "monitor/MonitorController.h"
#include "monitor/MonitorStatus.h"
#include "ui/ClickableLabel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

#include <functional>

namespace tellvane {

namespace {
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kYellow(192, 192, 0);
const QColor kOrange(255, 128, 0);

const QString kSection = QStringLiteral("CANForm");

// The message list, telling when a key moved its current line (arrows, Page
// Up and Down, Home, End): in file mode that plays the line as a click does.
class MessageListView final : public QListView {
public:
    using QListView::QListView;
    std::function<void(int)> keyMoved;

protected:
    // The base asks the X server where the mouse is at every step of the
    // scroll bar, which at a full bus moves on every batch of lines: hovering
    // only matters with the mouse over the lines.
    void verticalScrollbarValueChanged(int value) override
    {
        if (viewport()->underMouse())
            QListView::verticalScrollbarValueChanged(value);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const QModelIndex before = currentIndex();
        QListView::keyPressEvent(event);
        const QModelIndex after = currentIndex();
        if (after.isValid() && after != before && keyMoved)
            keyMoved(after.row());
    }
};

QFont listFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(8.25);
    return font;
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

QLabel* makeLabel(QWidget* parent, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    return label;
}
}  // namespace

MonitorWindow::MonitorWindow(MonitorController& controller, MonitorStatus& status, LineListModel& list,
                             LogPlayback& playback, SettingsStore& settings, QWidget* parent)
    : MdiChild(parent), m_controller(controller), m_status(status), m_model(list), m_playback(playback),
      m_settings(settings), m_liveImage(liveModeImage()), m_fileImage(fileModeImage())
{
    setObjectName(QStringLiteral("CANForm"));
    setWindowTitle(QStringLiteral("CAN Interface and Data"));
    // Filled with the frame's own colour, the window hides the frame behind
    // it: a box or scroll bar that changes then no longer repaints the frame,
    // title bar and all, at every batch of messages.
    setAutoFillBackground(true);
    build();

    connect(&m_controller, &MonitorController::modeChanged, this, &MonitorWindow::showMode);
    connect(&m_controller, &MonitorController::heightChanged, this,
            [this](int twips) { setOuterSizeTwips(MonitorController::kWidthTwips, twips); });
    connect(&m_controller, &MonitorController::readFileTextChanged, this, [this](const QString& text) {
        m_readFile->setText(text);
        m_readFile->setCursorPosition(static_cast<int>(text.size()));
    });
    connect(&m_status, &MonitorStatus::changed, this, &MonitorWindow::refreshStatus);
    connect(&m_playback, &LogPlayback::recordCountChanged, this,
            [this](std::int32_t count) { m_lineSize->setText(QString::number(count)); });
    connect(&m_playback, &LogPlayback::selectionChanged, this, &MonitorWindow::followSelection);
    connect(&m_playback, &LogPlayback::openProgress, this, &MonitorWindow::showOpening);
    connect(&m_playback, &LogPlayback::openFinished, this, [this] { showOpening(0, -1); });
    connect(&m_model, &LineListModel::flushed, this, [this] {
        if (m_controller.inCanMode())
            m_list->scrollToBottom();
    });

    showMode(true);
    refreshStatus();
}

void MonitorWindow::build()
{
    buildModeAndOptions();
    buildStatusPanel();
    buildPlaybackPanel();
    buildMessageList();
}

// The mode picture and its caption, the board request, the three options and the save log's name.
void MonitorWindow::buildModeAndOptions()
{
    m_modePicture = new ClickableLabel(this);
    m_modePicture->setObjectName(QStringLiteral("ModePicture"));
    m_modePicture->setToolTip(QStringLiteral("Click here to switch modes"));
    m_modePicture->setCursor(Qt::PointingHandCursor);
    m_modePicture->setGeometry(8, 8, 45, 30);
    connect(m_modePicture, &ClickableLabel::clicked, &m_controller, &MonitorController::switchMode);

    m_modeLabel = makeLabel(this, QStringLiteral("Current Mode = Live CAN"));
    m_modeLabel->setObjectName(QStringLiteral("ModeLabel"));
    QFont bold = m_modeLabel->font();
    bold.setBold(true);
    m_modeLabel->setFont(bold);
    placeTwips(m_modeLabel, 960, 240, 4200, 255);

    m_boardRequest = new QPushButton(QStringLiteral("Send Board Request"), this);
    m_boardRequest->setObjectName(QStringLiteral("Command6"));
    placeTwips(m_boardRequest, 6240, 150, 2295, 375);
    connect(m_boardRequest, &QPushButton::clicked, &m_controller, &MonitorController::sendBoardRequest);

    m_displayLive = new QCheckBox(QStringLiteral("Display Live CAN data"), this);
    m_displayLive->setObjectName(QStringLiteral("DisplayLiveCANCheck"));
    placeTwips(m_displayLive, 120, 720, 2535, 285);
    connect(m_displayLive, &QCheckBox::toggled, &m_controller, &MonitorController::setDisplayLive);

    m_ascii = new QCheckBox(QStringLiteral("Show ASCII data"), this);
    m_ascii->setObjectName(QStringLiteral("ASCIICheck"));
    placeTwips(m_ascii, 2760, 720, 2055, 285);
    connect(m_ascii, &QCheckBox::toggled, &m_controller, &MonitorController::setShowAscii);

    m_saveToFile = new QCheckBox(QStringLiteral("Save Live CAN data to file"), this);
    m_saveToFile->setObjectName(QStringLiteral("SaveToFileEnable"));
    placeTwips(m_saveToFile, 4920, 720, 3615, 285);
    connect(m_saveToFile, &QCheckBox::toggled, &m_controller, &MonitorController::setSaveToFile);

    m_fileName = makeTextBox(this, QStringLiteral("FileNameText"));
    m_fileName->setToolTip(QStringLiteral("Save log file of this run"));
    placeTwips(m_fileName, 120, 1080, 8415, 300);
}

// The link's state: the interface, the controller's error bits, the buffer.
void MonitorWindow::buildStatusPanel()
{
    m_statusFrame = new QGroupBox(QStringLiteral("CAN Network Status"), this);
    m_statusFrame->setObjectName(QStringLiteral("CANStatusFrame"));
    placeTwips(m_statusFrame, 120, 1500, 8415, 1830);

    placeTwips(makeLabel(m_statusFrame, QStringLiteral("Interface:")), 240, 360, 1335, 285);
    const char* interfaceCaptions[] = {"OK", "Interface Missing", "No CAN Connection", "Error Sending Data"};
    for (int i = 0; i < 4; ++i) {
        m_interfaceLabels[static_cast<std::size_t>(i)] =
            makeTag(m_statusFrame, QStringLiteral("InterfaceErrLabel_%1").arg(i),
                    QString::fromLatin1(interfaceCaptions[i]), i == 0 ? kGreen : kRed);
        placeTwips(m_interfaceLabels[static_cast<std::size_t>(i)], 1680, 360, 2055, 285);
    }
    placeTwips(makeLabel(m_statusFrame, QStringLiteral("Messages In Buffer")), 4920, 360, 1815, 285);
    m_messagesInBuffer = makeTextBox(m_statusFrame, QStringLiteral("MIBText"));
    placeTwips(m_messagesInBuffer, 6840, 345, 1335, 300);

    placeTwips(makeLabel(m_statusFrame, QStringLiteral("Controller:")), 240, 840, 1335, 285);
    m_errorOk = makeTag(m_statusFrame, QStringLiteral("ErrLabelOK"), QStringLiteral("OK"), kGreen);
    placeTwips(m_errorOk, 1680, 840, 735, 285);
    struct TagSpec {
        int bit;
        const char* caption;
        QColor colour;
        int left;
        int top;
    };
    const TagSpec tags[] = {
        {1, "Rx Warning", kYellow, 2520, 840}, {2, "Tx Warning", kYellow, 3840, 840},
        {3, "Rx Passive", kOrange, 5160, 840}, {4, "Tx Passive", kOrange, 6480, 840},
        {5, "Bus Off", kRed, 1680, 1260},      {6, "Buffer 0", kYellow, 2760, 1260},
        {7, "Buffer 1", kYellow, 4080, 1260},
    };
    for (const TagSpec& t : tags) {
        QLabel* tag = makeTag(m_statusFrame, QStringLiteral("ErrLabel%1").arg(t.bit), QString::fromLatin1(t.caption),
                              t.colour);
        placeTwips(tag, t.left, t.top, t.bit == 5 ? 975 : 1215, 285);
        m_errorLabels[static_cast<std::size_t>(t.bit)] = tag;
    }
    m_bufferLabel = static_cast<ClickableLabel*>(
        makeTag(m_statusFrame, QStringLiteral("ErrLabel8"), QStringLiteral("Buffer = 1500"), kYellow));
    m_bufferLabel->setToolTip(QStringLiteral("The adapter's buffer overflowed; click to set the adapter up again"));
    m_bufferLabel->setCursor(Qt::PointingHandCursor);
    placeTwips(m_bufferLabel, 5400, 1260, 1695, 285);
    connect(m_bufferLabel, &ClickableLabel::clicked, &m_status, &MonitorStatus::bufferOverflowClicked);
}

// The log file: choosing and opening it, and the play buttons.
void MonitorWindow::buildPlaybackPanel()
{
    m_fileFrame = new QGroupBox(QStringLiteral("CAN File Playback"), this);
    m_fileFrame->setObjectName(QStringLiteral("FileStatusFrame"));
    placeTwips(m_fileFrame, 120, 720, 8415, 2610);

    auto* open = new QToolButton(m_fileFrame);
    open->setObjectName(QStringLiteral("File_Open"));
    open->setToolTip(QStringLiteral("Choose File to Open"));
    open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    open->setIconSize(QSize(22, 22));
    placeTwips(open, 240, 330, 540, 480);
    connect(open, &QToolButton::clicked, &m_controller, &MonitorController::chooseLogFile);

    m_readFile = makeTextBox(m_fileFrame, QStringLiteral("ReadFileText"));
    placeTwips(m_readFile, 900, 420, 7275, 300);

    placeTwips(makeLabel(m_fileFrame, QStringLiteral("Number of packets in file:")), 240, 1020, 2415, 285);
    m_lineSize = makeTextBox(m_fileFrame, QStringLiteral("LineSizeText"));
    placeTwips(m_lineSize, 2760, 1005, 1455, 300);

    m_openProgress = new QProgressBar(m_fileFrame);
    m_openProgress->setObjectName(QStringLiteral("OpenProgress"));
    m_openProgress->setRange(0, 1000);
    m_openProgress->setFormat(QStringLiteral("Opening %p%"));
    placeTwips(m_openProgress, 4320, 1005, 2700, 300);
    m_cancelOpen = new QPushButton(QStringLiteral("Cancel"), m_fileFrame);
    m_cancelOpen->setObjectName(QStringLiteral("CancelOpen"));
    m_cancelOpen->setToolTip(QStringLiteral("Stop opening the file; the file before stays"));
    placeTwips(m_cancelOpen, 7140, 975, 1035, 360);
    connect(m_cancelOpen, &QPushButton::clicked, &m_controller, &MonitorController::cancelOpen);
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(m_escape, &QShortcut::activated, &m_controller, &MonitorController::cancelOpen);
    showOpening(0, -1);
    buildPlayButtons();
}

void MonitorWindow::buildPlayButtons()
{
    struct ButtonSpec {
        const char* name;
        const char* caption;
        QStyle::StandardPixmap icon;
        void (MonitorController::*action)();
    };
    const ButtonSpec buttons[] = {
        {"Play_Button", "Play", QStyle::SP_MediaPlay, &MonitorController::play},
        {"FF_Button", "Run Full Speed", QStyle::SP_MediaSeekForward, &MonitorController::runFullSpeed},
        {"Step_Button", "Step", QStyle::SP_MediaSkipForward, &MonitorController::step},
        {"Stop_Button", "Stop", QStyle::SP_MediaStop, &MonitorController::stop},
    };
    int left = 240;
    for (const ButtonSpec& b : buttons) {
        auto* button = new QToolButton(m_fileFrame);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setText(QString::fromLatin1(b.caption));
        button->setIcon(style()->standardIcon(b.icon));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        placeTwips(button, left, 1560, 1935, 780);
        connect(button, &QToolButton::clicked, &m_controller, b.action);
        left += 2040;
    }
}

// The message list fills the lower part; the short window cuts it off.
void MonitorWindow::buildMessageList()
{
    m_listHeading = new QLabel(QStringLiteral("Time (s)  Identifier L Data bytes"), this);
    m_listHeading->setObjectName(QStringLiteral("ListHeading"));
    m_listHeading->setFont(listFont());
    m_listHeading->setContentsMargins(4, 0, 0, 0);
    placeTwips(m_listHeading, 120, 4020, 8415, 255);

    auto* list = new MessageListView(this);
    list->keyMoved = [this](int row) { m_controller.listKeyMoved(row); };
    m_list = list;
    m_list->setObjectName(QStringLiteral("LogMessageList"));
    m_list->setModel(&m_model);
    m_list->setFont(listFont());
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    placeTwips(m_list, 120, 4320, 8415, 3480);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        m_controller.listClicked(index.row());
    });
}

void MonitorWindow::load()
{
    setOuterSizeTwips(MonitorController::kWidthTwips, m_controller.heightTwips());
    const SettingsStore::Position p = m_settings.position(kSection);
    if (p.top > 0 && p.left > 0)
        moveToKeptPlaceTwips(p.top, p.left);
}

void MonitorWindow::setFileNameText(const QString& path)
{
    m_fileName->setText(path);
    m_fileName->setCursorPosition(static_cast<int>(path.size()));
}

void MonitorWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closeAllowed) {
        // The monitor lives as long as the program: closing it only puts it aside.
        event->ignore();
        if (QWidget* outer = subWindow())
            outer->showMinimized();
        return;
    }
    // Put aside as an icon, it keeps the place it had before.
    if (!subWindow() || !subWindow()->isMinimized())
        m_settings.savePosition(kSection, outerTopTwips(), outerLeftTwips());
    event->accept();
}

void MonitorWindow::showMode(bool live)
{
    m_modePicture->setPixmap(live ? m_liveImage : m_fileImage);
    m_fileFrame->setVisible(!live);
    m_statusFrame->setVisible(live);
    m_modeLabel->setText(live ? QStringLiteral("Current Mode = Live CAN") : QStringLiteral("Current Mode = File Mode"));
    for (QWidget* w : {static_cast<QWidget*>(m_saveToFile), static_cast<QWidget*>(m_displayLive),
                       static_cast<QWidget*>(m_ascii), static_cast<QWidget*>(m_fileName),
                       static_cast<QWidget*>(m_boardRequest)})
        w->setVisible(live);
    m_listHeading->setText(live ? QStringLiteral("Time (s)  Identifier L Data bytes                ASCII")
                                : QStringLiteral("Time (s)  Identifier L Data bytes"));
    m_model.setBlankControlCharacters(!live);
    m_list->setSelectionMode(live ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection);
}

void MonitorWindow::refreshStatus()
{
    for (int i = 0; i < 4; ++i)
        m_interfaceLabels[static_cast<std::size_t>(i)]->setVisible(m_status.interfaceLabelVisible(i));
    m_errorOk->setVisible(m_status.errorOkVisible());
    for (int bit = 1; bit <= 7; ++bit)
        m_errorLabels[static_cast<std::size_t>(bit)]->setVisible(m_status.errorBitVisible(bit));
    m_bufferLabel->setVisible(m_status.bufferOverflowVisible());
    if (m_messagesInBuffer->text() != m_status.messagesInBuffer())
        m_messagesInBuffer->setText(m_status.messagesInBuffer());
}

void MonitorWindow::showOpening(qint64 done, qint64 size)
{
    const bool opening = size >= 0;
    m_openProgress->setValue(size > 0 ? static_cast<int>(done * 1000 / size) : 0);
    m_escape->setEnabled(opening);
    if (opening == m_cancelOpen->isVisibleTo(m_fileFrame))
        return;
    // The keys go to Cancel while it is there; after it back to the list.
    const bool hadKeys = m_cancelOpen->hasFocus();
    m_openProgress->setVisible(opening);
    m_cancelOpen->setVisible(opening);
    if (opening)
        m_cancelOpen->setFocus();
    else if (hadKeys)
        m_list->setFocus();
}

void MonitorWindow::followSelection(int row)
{
    if (row < 0) {
        m_list->clearSelection();
        return;
    }
    const QModelIndex index = m_model.index(row);
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
}

}  // namespace tellvane
