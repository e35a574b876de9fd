#include "diagnostics/BoardWindow.h"

#include "can/BoardMessages.h"
#include "core/Dialogs.h"
#include "core/ErrorReporting.h"
#include "core/SettingsStore.h"
#include "diagnostics/DynTabContainer.h"
#include "diagnostics/ScreenBuilder.h"
#include "diagnostics/ScreenMenu.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace tellvane {

namespace {
const QString kEnter = QStringLiteral("Enter Diagnostic Mode");
const QString kExit = QStringLiteral("Exit Diagnostic Mode");
const QString kWarning = QStringLiteral("Warning");

QLineEdit* makeTextBox(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    placeTwips(box, left, top, width, height);
    return box;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                  int height)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    placeTwips(label, left, top, width, height);
    return label;
}
}  // namespace

BoardWindow::BoardWindow(BoardWindowServices services, QWidget* parent)
    : MdiChild(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("FormTemplate"));
    setAttribute(Qt::WA_DeleteOnClose);
    build();
}

BoardWindow::~BoardWindow()
{
    // A window can go without being closed (its parent deleted): the board
    // table must never keep a pointer to it.
    if (!m_closed)
        m_services.directory.forgetWindow(m_formIndex, this);
}

void BoardWindow::build()
{
    m_screenFiles = new ScreenFileWatcher(this);
    connect(m_screenFiles, &ScreenFileWatcher::settled, this, &BoardWindow::reloadScreen);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("ScreenScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_canvas = new QWidget;
    m_canvas->setObjectName(QStringLiteral("ScreenCanvas"));
    m_scroll->setWidget(m_canvas);
    // A right-click that no control takes comes up to the canvas.
    if (m_services.screenMenu)
        m_canvas->installEventFilter(this);

    m_frame = new QGroupBox(QStringLiteral("Board Information"), m_canvas);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    placeTwips(m_frame, 120, 120, 6495, 2895);

    makeLabel(m_frame, QStringLiteral("Label1_0"), QStringLiteral("Address:"), 240, 360, 735, 255);
    m_address = makeTextBox(m_frame, QStringLiteral("AddrText"), 1080, 360, 615, 285);
    makeLabel(m_frame, QStringLiteral("Label1_3"), QStringLiteral("Serial #:"), 1800, 360, 615, 255);
    m_serial = makeTextBox(m_frame, QStringLiteral("SerialNumText"), 2520, 360, 1215, 285);
    makeLabel(m_frame, QStringLiteral("Label1_1"), QStringLiteral("Style:"), 480, 720, 495, 255);
    m_style = makeTextBox(m_frame, QStringLiteral("BTypeText"), 1080, 720, 615, 285);
    makeLabel(m_frame, QStringLiteral("Label1_2"), QStringLiteral("Variant:"), 1800, 720, 615, 255);
    m_variant = makeTextBox(m_frame, QStringLiteral("PCodeText"), 2520, 720, 1215, 285);

    m_message = new QPlainTextEdit(m_frame);
    m_message->setObjectName(QStringLiteral("MessageText"));
    m_message->setReadOnly(true);
    placeTwips(m_message, 240, 1080, 3495, 855);

    m_offline = makeLabel(m_frame, QStringLiteral("ErrorNodeLabel"), QStringLiteral("This board is OFF-LINE"), 240,
                          1080, 3495, 255);
    m_offline->setAlignment(Qt::AlignCenter);
    m_offline->setAutoFillBackground(true);
    QPalette red = m_offline->palette();
    red.setColor(QPalette::Window, QColor(255, 0, 0));
    red.setColor(QPalette::WindowText, Qt::white);
    m_offline->setPalette(red);
    QFont bold = m_offline->font();
    bold.setBold(true);
    m_offline->setFont(bold);
    m_offline->hide();

    m_startDiag = new QPushButton(kEnter, m_frame);
    m_startDiag->setObjectName(QStringLiteral("StartDiag"));
    placeTwips(m_startDiag, 240, 2040, 3495, 255);
    connect(m_startDiag, &QPushButton::clicked, this, &BoardWindow::startDiagClicked);

    m_download = new QPushButton(QStringLiteral("Enter Firmware Download Mode"), m_frame);
    m_download->setObjectName(QStringLiteral("FWDownloadCommand"));
    placeTwips(m_download, 240, 2400, 3495, 255);
    connect(m_download, &QPushButton::clicked, this, &BoardWindow::firmwareDownloadClicked);

    m_picture = new QLabel(m_frame);
    m_picture->setObjectName(QStringLiteral("BoardPic"));
    m_picture->setFrameShape(QFrame::StyledPanel);
    m_picture->setAlignment(Qt::AlignCenter);
    placeTwips(m_picture, 3960, 360, 2280, 2280);

    m_diagnosticLabel = makeLabel(m_canvas, QStringLiteral("DiagnosticLabel"), QStringLiteral("Diagnostic Information"),
                                  120, kDiagnosticLabelTop, 6495, 255);
    m_diagnosticLabel->setFont(bold);
    m_diagnosticLabel->hide();  // a heading for the diagnostic screen, shown with it

    // A scratch box for trying display patterns, outside the visible width.
    m_testText = makeTextBox(m_canvas, QStringLiteral("TestText"), 8520, 360, 975, 375);
    m_testText->setText(QStringLiteral("Text1"));
    m_testText->hide();
}

void BoardWindow::initialise(std::int16_t formIndex, std::int16_t boardType, std::uint8_t address,
                             std::int32_t serial)
{
    m_address->setText(QString::number(address));
    m_serial->setText(QString::number(serial));
    m_formIndex = formIndex;
    QString caption = QStringLiteral("Board Type ") + QString::number(boardType);
    setWindowTitle(caption);
    const bool conflict = address == board::kConflictAddress;
    if (conflict)
        sizeWindowTwips(kConflictWidthTwips, kConflictHeightTwips);
    else
        sizeWindowTwips(kWidthTwips, kHeightTwips);
    if (m_services.placeNewWindow)
        m_services.placeNewWindow(*this);
    if (QMdiSubWindow* sub = subWindow())
        sub->show();
    show();
    if (conflict) {
        // A board without an address of its own: only its type and serial number.
        m_offline->show();
        m_message->hide();  // under the off-line mark; such a board never gets a message
        placeTwips(m_frame, 120, 120, 3975, 1575);
        setWindowTitle(caption + QStringLiteral(" [Conflict]"));
    }
    fitCanvas();
}

QString BoardWindow::addressText() const
{
    return m_address->text();
}

QString BoardWindow::styleText() const
{
    return m_style->text();
}

QString BoardWindow::variantText() const
{
    return m_variant->text();
}

QString BoardWindow::positionSection() const
{
    return styleText() + QLatin1Char('-') + variantText();
}

void BoardWindow::showPCode(const QString& style, const QString& variant, const QString& caption)
{
    m_variant->setText(variant);
    m_style->setText(style);
    setWindowTitle(caption);
    if (!m_services.previewFile.isEmpty() && !m_previewEntered && !variant.isEmpty()) {
        // Entered once the message that brought the P-code has been handled.
        m_previewEntered = true;
        QTimer::singleShot(0, this, [this] {
            if (!inDiagnosticMode())
                startDiagClicked();
        });
    }
}

void BoardWindow::loadBoardPicture()
{
    // A missing or unreadable picture leaves the one shown.
    const QString path = QDir(m_services.filesFolder)
                             .filePath(QStringLiteral("Configuration/") + positionSection() + QStringLiteral(".jpg"));
    if (!QFileInfo::exists(path))
        return;
    QPixmap picture;
    if (!picture.load(path, "JPG"))
        return;
    const QSize box = m_picture->contentsRect().size();
    if (picture.width() > box.width() || picture.height() > box.height())
        picture = picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_picture->setPixmap(picture);
}

void BoardWindow::moveToTwips(int top, int left)
{
    // A kept place beyond reach leaves the window where it was put when made.
    moveToKeptPlaceTwips(top, left);
}

void BoardWindow::processDiagnosticMessages(std::uint8_t length, const std::array<std::uint8_t, kCanDataSize>& data, LineTime time)
{
    m_screen.processDiagnosticMessages(length, data, time);
}

void BoardWindow::setMessageText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_message->setPlainText(shown);
}

void BoardWindow::setScreenSizeTwips(int width, int height)
{
    sizeWindowTwips(width, height);
}

void BoardWindow::sizeWindowTwips(int width, int height)
{
    setOuterSizeTwips(width, height);
    QMdiSubWindow* sub = subWindow();
    if (sub && sub->mdiArea()) {
        const QSize room = sub->mdiArea()->maximumViewportSize();
        if (!room.isEmpty() && (sub->width() > room.width() || sub->height() > room.height())) {
            sub->setFixedSize(sub->size().boundedTo(room));
            // Moved in as far as it takes to lie whole in the frame.
            sub->move(std::clamp(sub->x(), 0, room.width() - sub->width()),
                      std::clamp(sub->y(), 0, room.height() - sub->height()));
        }
    }
    fitCanvas();
}

void BoardWindow::fitCanvas()
{
    constexpr int kMargin = 4;
    const QRect used = m_canvas->childrenRect();
    const QSize room = m_scroll->maximumViewportSize();
    const QSize contents = used.isEmpty() ? QSize() : QSize(used.right() + 1 + kMargin, used.bottom() + 1 + kMargin);
    m_canvas->resize(contents.expandedTo(room));
}

void BoardWindow::resizeEvent(QResizeEvent* event)
{
    MdiChild::resizeEvent(event);
    m_scroll->setGeometry(rect());
    fitCanvas();
}

bool BoardWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_canvas && event->type() == QEvent::ContextMenu && inDiagnosticMode()) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        showScreenMenu(menuEvent->pos(), menuEvent->globalPos());
        return true;
    }
    return MdiChild::eventFilter(watched, event);
}

void BoardWindow::showScreenMenu(QPoint at, QPoint globalAt)
{
    // The screen's control under the pointer: the widget hit, or the control it is part of.
    int cntrlIndex = -1;
    for (QWidget* w = m_canvas->childAt(at); w && w != m_canvas && cntrlIndex < 0; w = w->parentWidget())
        cntrlIndex = m_screen.indexOf(w);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ScreenMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_services.screenMenu->fillScreenMenu(*menu, *this, cntrlIndex);
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(globalAt);
}

void BoardWindow::setTestText(const QString& text)
{
    m_testText->setText(text);
}

QString BoardWindow::configurationFolder() const
{
    return QDir(m_services.filesFolder).filePath(QStringLiteral("Configuration"));
}

ScreenLoad BoardWindow::loadScreen() const
{
    if (!m_services.previewFile.isEmpty())
        return loadScreenFile(m_services.previewFile, m_formIndex, true);
    return loadBoardScreen(styleText(), variantText(), configurationFolder(), m_formIndex, true);
}

bool BoardWindow::loadDiagnosticScreen()
{
    ScreenLoad load = loadScreen();
    m_screen.build(std::move(load.definition));
    m_screenFiles->watch(load.loaded ? QStringList{load.configFile, load.groupFile} : QStringList{});
    return load.loaded;
}

void BoardWindow::reloadScreen()
{
    if (!inDiagnosticMode())
        return;
    ScreenLoad load = loadScreen();
    if (!load.loaded)
        return;  // a file cut short stays unshown; the next save is heard
    // The author goes on looking where they were: the same pages of the tab
    // containers (by their place in the file) and the same part of the screen.
    std::vector<int> pages;
    for (int i = 0; i < m_screen.controlCount(); ++i) {
        if (auto* tabs = dynamic_cast<DynTabContainer*>(m_screen.control(i)))
            pages.push_back(tabs->currentPage());
    }
    const QPoint scrolled(m_scroll->horizontalScrollBar()->value(), m_scroll->verticalScrollBar()->value());
    // What watches the screen's values (a plot, a recording) goes on with the new one.
    m_screen.rebuild(std::move(load.definition));
    fitCanvas();
    std::size_t next = 0;
    for (int i = 0; i < m_screen.controlCount() && next < pages.size(); ++i) {
        if (auto* tabs = dynamic_cast<DynTabContainer*>(m_screen.control(i)))
            tabs->showPage(pages[next++]);
    }
    m_scroll->horizontalScrollBar()->setValue(scrolled.x());
    m_scroll->verticalScrollBar()->setValue(scrolled.y());
    if (m_services.screenReloaded)
        m_services.screenReloaded();
}

bool BoardWindow::inDiagnosticMode() const
{
    return m_startDiag->text() != kEnter;
}

std::optional<std::uint8_t> BoardWindow::requestAddress(const QString& operation) const
{
    bool ok = false;
    const int address = m_address->text().trimmed().toInt(&ok);
    if (ok && address >= 0 && address <= 255)
        return static_cast<std::uint8_t>(address);
    reportFailure(Failure(ok ? FailureCode::Overflow : FailureCode::TypeMismatch), operation,
                  QStringLiteral(" with AddrText=") + m_address->text());
    return std::nullopt;
}

void BoardWindow::startDiagClicked()
{
    if (inDiagnosticMode()) {
        m_services.directory.setDiagMode(m_formIndex, false);
        m_screenFiles->watch({});
        m_screen.deleteControls();
        m_startDiag->setText(kEnter);
        m_diagnosticLabel->hide();
        sizeWindowTwips(kWidthTwips, kHeightTwips);
        if (const auto address = requestAddress(QStringLiteral("StartDiag_Click")))
            m_services.directory.sendDiagOffRequest(*address);
        return;
    }
    if (m_variant->text().isEmpty()) {
        m_services.dialogs.information(kWarning,
                                       QStringLiteral("Cannot enter diagnostic mode as there is not a valid PCode value"));
        return;
    }
    const bool entered = loadDiagnosticScreen();
    if (entered) {
        m_startDiag->setText(kExit);
        m_diagnosticLabel->show();
        fitCanvas();
        if (const auto address = requestAddress(QStringLiteral("StartDiag_Click")))
            m_services.directory.sendDiagOnRequest(*address);
        m_services.directory.setDiagMode(m_formIndex, true);
        return;
    }
    m_services.dialogs.information(kWarning, QStringLiteral("Could not find a matching .CFG file for this board"));
}

void BoardWindow::firmwareDownloadClicked()
{
    if (m_services.inCanMode && !m_services.inCanMode()) {
        m_services.dialogs.information(
            kWarning, QStringLiteral("System must be in Live CAN mode to enter Firmware Download mode"));
        return;
    }
    const auto address = requestAddress(QStringLiteral("FWDownloadCommand_Click"));
    if (!address)
        return;
    if (*address == board::kConflictAddress) {
        // Every board in conflict answers at this address: a download would
        // reach all of them, or none reliably.
        m_services.dialogs.information(kWarning, kConflictDownloadText);
        return;
    }
    const std::int16_t busy = m_services.directory.downloadBoardAddress();
    if (busy != BoardDirectory::kNone && busy != *address) {
        m_services.dialogs.information(kWarning,
                                       QStringLiteral("Another board is currently using the download feature, please "
                                                      "finish and close Firmware Downloader screen"));
        return;
    }
    if (!m_services.showDownloader)
        return;  // no downloader in this build: nothing is taken
    m_services.directory.setDownloadBoardAddress(*address);
    m_services.showDownloader();
}

void BoardWindow::closeEvent(QCloseEvent* event)
{
    m_closed = true;
    m_services.directory.windowClosed(m_formIndex);
    const QString section = positionSection();
    if (!m_services.settings.savePosition(section, outerTopTwips(), outerLeftTwips())) {
        reportFailure(Failure(FailureCode::DeviceIoError), QStringLiteral("Form_Unload"),
                      QStringLiteral(" while saving the position of section ") + section);
    }
    event->accept();
}

BoardWindows::BoardWindows(BoardWindowServices services, std::function<void(QWidget*)> addToMainWindow)
    : m_services(std::move(services)), m_add(std::move(addToMainWindow))
{
}

BoardWindowHandle* BoardWindows::makeBoardWindow()
{
    auto* window = new BoardWindow(m_services);
    if (m_add)
        m_add(window);
    return window;
}

}  // namespace tellvane
