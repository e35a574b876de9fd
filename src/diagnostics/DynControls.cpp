#include "diagnostics/DynControls.h"

#include "core/Failure.h"
#include "core/Numbers.h"
#include "core/Twips.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include <cmath>

namespace tellvane {

namespace {
const QString kTop = QStringLiteral("Top");
const QString kLeft = QStringLiteral("Left");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kVisible = QStringLiteral("Visible");

double numberOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return leadingNumber(value.toString());
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        throw Failure(FailureCode::TypeMismatch);
    return d;
}

Qt::Alignment horizontal(int alignment)
{
    switch (alignment) {
    case 1:
        return Qt::AlignRight;
    case 2:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

void setColours(QWidget* w, std::int32_t back, std::int32_t fore)
{
    QPalette palette = w->palette();
    if (back >= 0) {
        palette.setColor(QPalette::Window, colourFromValue(back));
        palette.setColor(QPalette::Base, colourFromValue(back));
        w->setAutoFillBackground(true);
    }
    if (fore >= 0) {
        palette.setColor(QPalette::WindowText, colourFromValue(fore));
        palette.setColor(QPalette::Text, colourFromValue(fore));
    }
    w->setPalette(palette);
}
}  // namespace

QColor colourFromValue(std::int32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

namespace dynvalue {

int toTwips(const QVariant& value)
{
    return toInt32(numberOf(value));
}

int toSize(const QVariant& value)
{
    const int v = toTwips(value);
    if (v < 0)
        throw Failure(FailureCode::InvalidPropertyValue);
    return v;
}

std::int32_t toColour(const QVariant& value)
{
    const std::int32_t v = toInt32(numberOf(value));
    if (v < 0 || v > 0xFFFFFF)
        throw Failure(FailureCode::InvalidPropertyValue);
    return v;
}

bool toFlag(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (!ok)
            throw Failure(FailureCode::TypeMismatch);
        return d != 0.0;
    }
    return numberOf(value) != 0.0;
}

int toAlignment(const QVariant& value)
{
    const int v = toInt32(numberOf(value));
    if (v < 0 || v > 2)
        throw Failure(FailureCode::InvalidPropertyValue);
    return v;
}

}  // namespace dynvalue

using namespace dynvalue;

// ---- DynControl

void DynControl::setProperty(const QString& name, const QVariant& value)
{
    if (!supports(name))
        throw Failure(FailureCode::PropertyNotSupported);
    if (name == kTop) {
        m_top = toTwips(value);
        applyGeometry();
    } else if (name == kLeft) {
        m_left = toTwips(value);
        applyGeometry();
    } else if (name == kWidth) {
        m_width = toSize(value);
        applyGeometry();
    } else if (name == kHeight) {
        m_height = toSize(value);
        applyGeometry();
    } else if (name == kVisible) {
        widget()->setVisible(toFlag(value));
    } else {
        apply(name, value);
    }
    if (!m_assigned.contains(name))
        m_assigned.append(name);
}

QVariant DynControl::property(const QString& name) const
{
    if (!supports(name))
        throw Failure(FailureCode::PropertyNotSupported);
    if (name == kTop)
        return m_top;
    if (name == kLeft)
        return m_left;
    if (name == kWidth)
        return m_width;
    if (name == kHeight)
        return m_height;
    if (name == kVisible)
        return const_cast<DynControl*>(this)->widget()->isVisibleTo(const_cast<DynControl*>(this)->widget()->parentWidget());
    return read(name);
}

QStringList DynControl::assignedProperties() const
{
    QStringList ordered;
    for (const QString& name : propertyNames()) {
        if (m_assigned.contains(name))
            ordered.append(name);
    }
    return ordered;
}

void DynControl::applyGeometry()
{
    QWidget* w = widget();
    w->setGeometry(twipsToPixels(m_left, w->logicalDpiX()), twipsToPixels(m_top, w->logicalDpiY()),
                   twipsToPixels(m_width, w->logicalDpiX()), twipsToPixels(m_height, w->logicalDpiY()));
}

DynControl* DynControl::create(const QString& kind, const QString& name, QWidget* parent)
{
    DynControl* control = nullptr;
    if (kind == QLatin1String("Label"))
        control = new DynLabel(parent);
    else if (kind == QLatin1String("Frame"))
        control = new DynFrame(parent);
    else if (kind == QLatin1String("TabContainer"))
        control = new DynTabContainer(parent);
    else if (kind == QLatin1String("Shape"))
        control = new DynShape(parent);
    else if (kind == QLatin1String("TextBox"))
        control = new DynTextBox(parent);
    if (control) {
        control->widget()->setObjectName(name);
        control->widget()->hide();  // builders show a control as their last step
    }
    return control;
}

// ---- Label

DynLabel::DynLabel(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(true);
}

const QStringList& DynLabel::propertyNames() const
{
    static const QStringList names = {QStringLiteral("Caption"),   kTop, kLeft, kWidth, kHeight, kVisible,
                                      QStringLiteral("Alignment"), QStringLiteral("AutoSize"),
                                      QStringLiteral("BackColor"), QStringLiteral("ForeColor"),
                                      QStringLiteral("ToolTipText")};
    return names;
}

void DynLabel::apply(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("Caption")) {
        setText(value.toString());
        if (m_autoSize)
            adjustSize();
    } else if (name == QLatin1String("Alignment")) {
        m_alignment = toAlignment(value);
        setAlignment(horizontal(m_alignment) | Qt::AlignTop);
    } else if (name == QLatin1String("AutoSize")) {
        m_autoSize = toFlag(value);
        setWordWrap(!m_autoSize);
        if (m_autoSize) {
            adjustSize();
            m_width = pixelsToTwips(width(), logicalDpiX());
            m_height = pixelsToTwips(height(), logicalDpiY());
        }
    } else if (name == QLatin1String("BackColor")) {
        m_back = toColour(value);
        setColours(this, m_back, -1);
    } else if (name == QLatin1String("ForeColor")) {
        m_fore = toColour(value);
        setColours(this, -1, m_fore);
    } else if (name == QLatin1String("ToolTipText")) {
        setToolTip(value.toString());
    }
}

QVariant DynLabel::read(const QString& name) const
{
    if (name == QLatin1String("Caption"))
        return text();
    if (name == QLatin1String("Alignment"))
        return m_alignment;
    if (name == QLatin1String("AutoSize"))
        return m_autoSize;
    if (name == QLatin1String("BackColor"))
        return m_back;
    if (name == QLatin1String("ForeColor"))
        return m_fore;
    return toolTip();
}

// ---- Frame

DynFrame::DynFrame(QWidget* parent) : QGroupBox(parent) {}

const QStringList& DynFrame::propertyNames() const
{
    static const QStringList names = {QStringLiteral("Caption"),   kTop, kLeft, kWidth, kHeight, kVisible,
                                      QStringLiteral("BackColor"), QStringLiteral("ForeColor"),
                                      QStringLiteral("ToolTipText")};
    return names;
}

void DynFrame::apply(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("Caption")) {
        setTitle(value.toString());
    } else if (name == QLatin1String("BackColor")) {
        // The frame's colours are its own: set on its palette, they would pass
        // to every control inside it.
        m_back = toColour(value);
        update();
    } else if (name == QLatin1String("ForeColor")) {
        m_fore = toColour(value);
        update();
    } else if (name == QLatin1String("ToolTipText")) {
        setToolTip(value.toString());
    }
}

void DynFrame::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    if (m_back >= 0) {
        painter.fillRect(rect(), colourFromValue(m_back));
        option.palette.setColor(QPalette::Window, colourFromValue(m_back));
    }
    if (m_fore >= 0) {
        option.textColor = colourFromValue(m_fore);
        option.palette.setColor(QPalette::WindowText, colourFromValue(m_fore));
    }
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
}

QVariant DynFrame::read(const QString& name) const
{
    if (name == QLatin1String("Caption"))
        return title();
    if (name == QLatin1String("BackColor"))
        return m_back;
    if (name == QLatin1String("ForeColor"))
        return m_fore;
    return toolTip();
}

// ---- Tab container

DynTabContainer::DynTabContainer(QWidget* parent) : QWidget(parent), m_bar(new QTabBar(this))
{
    m_bar->setObjectName(QStringLiteral("qt_tabbar"));
    m_bar->setDrawBase(false);
    m_bar->setUsesScrollButtons(true);
    setPageCount(1);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index != m_current)
            setCurrent(index);
    });
}

const QStringList& DynTabContainer::propertyNames() const
{
    static const QStringList names = {QStringLiteral("Caption"),   kTop,
                                      kLeft,                       kWidth,
                                      kHeight,                     kVisible,
                                      QStringLiteral("Tabs"),      QStringLiteral("Tab"),
                                      QStringLiteral("TabsPerRow"), QStringLiteral("BackColor"),
                                      QStringLiteral("ForeColor"), QStringLiteral("ToolTipText")};
    return names;
}

QWidget* DynTabContainer::childParent()
{
    return m_pages.at(static_cast<std::size_t>(m_current));
}

QString DynTabContainer::pageCaption(int index) const
{
    return m_bar->tabText(index);
}

int DynTabContainer::pageOf(const QWidget* child) const
{
    for (const QWidget* w = child; w; w = w->parentWidget()) {
        for (std::size_t i = 0; i < m_pages.size(); ++i) {
            if (m_pages[i] == w)
                return static_cast<int>(i);
        }
    }
    return -1;
}

void DynTabContainer::setPageCount(int count)
{
    while (static_cast<int>(m_pages.size()) < count) {
        auto* page = new QWidget(this);
        page->setObjectName(QStringLiteral("qt_page_%1").arg(m_pages.size()));
        m_pages.push_back(page);
        m_bar->addTab(QStringLiteral("Tab %1").arg(m_pages.size() - 1));
    }
    while (static_cast<int>(m_pages.size()) > count) {
        delete m_pages.back();
        m_pages.pop_back();
        m_bar->removeTab(m_bar->count() - 1);
    }
    if (m_current >= count)
        setCurrent(count - 1);
    layoutPages();
}

void DynTabContainer::setCurrent(int index)
{
    m_current = index;
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(static_cast<int>(i) == index);
    {
        const QSignalBlocker block(m_bar);
        m_bar->setCurrentIndex(index);
    }
    m_bar->raise();
}

void DynTabContainer::layoutPages()
{
    for (QWidget* page : m_pages)
        page->setGeometry(rect());
    int tabWidth = 0;
    if (m_tabsPerRow > 0)
        tabWidth = std::max(24, width() / m_tabsPerRow);
    m_bar->setStyleSheet(tabWidth > 0 ? QStringLiteral("QTabBar::tab { width: %1px; }").arg(tabWidth - 4) : QString());
    m_bar->setGeometry(0, 0, width(), m_bar->sizeHint().height());
    m_bar->raise();
}

QRect DynTabContainer::tabStrip() const
{
    return m_bar->geometry();
}

void DynTabContainer::resizeEvent(QResizeEvent*)
{
    layoutPages();
}

void DynTabContainer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(0, m_bar->height() - 1, 0, 0);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_bar->size();
    if (m_back >= 0)
        painter.fillRect(frame.rect, colourFromValue(m_back));
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

void DynTabContainer::apply(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("Caption")) {
        m_bar->setTabText(m_current, value.toString());
    } else if (name == QLatin1String("Tabs")) {
        const int count = toInt32(numberOf(value));
        if (count < 1 || count > 255)
            throw Failure(FailureCode::InvalidPropertyValue);
        setPageCount(count);
    } else if (name == QLatin1String("Tab")) {
        const int index = toInt32(numberOf(value));
        if (index < 0 || index >= pageCount())
            throw Failure(FailureCode::InvalidPropertyValue);
        setCurrent(index);
    } else if (name == QLatin1String("TabsPerRow")) {
        const int perRow = toInt32(numberOf(value));
        if (perRow < 1 || perRow > 255)
            throw Failure(FailureCode::InvalidPropertyValue);
        m_tabsPerRow = perRow;
        layoutPages();
    } else if (name == QLatin1String("BackColor")) {
        m_back = toColour(value);
        update();
    } else if (name == QLatin1String("ForeColor")) {
        m_fore = toColour(value);
        setColours(m_bar, -1, m_fore);
    } else if (name == QLatin1String("ToolTipText")) {
        setToolTip(value.toString());
    }
}

QVariant DynTabContainer::read(const QString& name) const
{
    if (name == QLatin1String("Caption"))
        return m_bar->tabText(m_current);
    if (name == QLatin1String("Tabs"))
        return pageCount();
    if (name == QLatin1String("Tab"))
        return m_current;
    if (name == QLatin1String("TabsPerRow"))
        return m_tabsPerRow;
    if (name == QLatin1String("BackColor"))
        return m_back;
    if (name == QLatin1String("ForeColor"))
        return m_fore;
    return toolTip();
}

// ---- Shape

DynShape::DynShape(QWidget* parent) : QWidget(parent) {}

const QStringList& DynShape::propertyNames() const
{
    static const QStringList names = {kTop, kLeft, kWidth, kHeight, kVisible, QStringLiteral("BackColor"),
                                      QStringLiteral("BackStyle")};
    return names;
}

void DynShape::setBackColorValue(std::int32_t bgr)
{
    if (bgr == m_back)
        return;
    m_back = bgr;
    update();
}

void DynShape::apply(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("BackColor")) {
        setBackColorValue(toColour(value));
    } else if (name == QLatin1String("BackStyle")) {
        const int style = toInt32(numberOf(value));
        if (style != 0 && style != 1)
            throw Failure(FailureCode::InvalidPropertyValue);
        m_backStyle = style;
        update();
    }
}

QVariant DynShape::read(const QString& name) const
{
    if (name == QLatin1String("BackColor"))
        return m_back;
    return m_backStyle;
}

void DynShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_backStyle == 1)
        painter.fillRect(rect(), colourFromValue(m_back));
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---- TextBox

DynTextBox::DynTextBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

const QStringList& DynTextBox::propertyNames() const
{
    static const QStringList names = {QStringLiteral("Text"),      kTop, kLeft, kWidth, kHeight, kVisible,
                                      QStringLiteral("Alignment"), QStringLiteral("BackColor"),
                                      QStringLiteral("ForeColor"), QStringLiteral("ToolTipText")};
    return names;
}

void DynTextBox::setTextValue(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    update();
}

void DynTextBox::apply(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("Text")) {
        setTextValue(value.toString());
    } else if (name == QLatin1String("Alignment")) {
        m_alignment = toAlignment(value);
        update();
    } else if (name == QLatin1String("BackColor")) {
        m_back = toColour(value);
        update();
    } else if (name == QLatin1String("ForeColor")) {
        m_fore = toColour(value);
        update();
    } else if (name == QLatin1String("ToolTipText")) {
        setToolTip(value.toString());
    }
}

QVariant DynTextBox::read(const QString& name) const
{
    if (name == QLatin1String("Text"))
        return m_text;
    if (name == QLatin1String("Alignment"))
        return m_alignment;
    if (name == QLatin1String("BackColor"))
        return m_back;
    if (name == QLatin1String("ForeColor"))
        return m_fore;
    return toolTip();
}

void DynTextBox::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), colourFromValue(m_back));
        painter.setPen(colourFromValue(m_fore));
        painter.drawText(contentsRect().adjusted(3, 0, -3, 0), horizontal(m_alignment) | Qt::AlignVCenter, m_text);
    }
    QFrame::paintEvent(event);
}

}  // namespace tellvane
