#include "ui/KeptGeometry.h"

#include "core/Numbers.h"
#include "core/SettingsStore.h"
#include "ui/MdiChild.h"
#include "ui/TwipsWidget.h"

#include <QEvent>
#include <QWindowStateChangeEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <cmath>

namespace tellvane {

namespace {
const QString kTop = QStringLiteral("Top");
const QString kLeft = QStringLiteral("Left");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kMaximized = QStringLiteral("Maximized");

// A kept number of twips; none when absent or beyond any desktop.
std::optional<int> keptTwips(const SettingsStore& settings, const QString& section, const QString& name)
{
    constexpr double kLimit = 1e7;
    const QString text = settings.value(section, name);
    if (text.trimmed().isEmpty())
        return std::nullopt;
    try {
        const double value = leadingNumber(text);
        if (std::isfinite(value) && std::abs(value) <= kLimit)
            return static_cast<int>(value);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}
}  // namespace

KeptGeometry::KeptGeometry(QMdiSubWindow& sub, SettingsStore& settings, QString section)
    : QObject(&sub), m_sub(&sub), m_watched(&sub), m_settings(settings), m_section(std::move(section)), m_normal(sub.geometry())
{
    sub.installEventFilter(this);
}

bool KeptGeometry::restore()
{
    if (!restoreSize())
        return false;
    if (const std::optional<QPoint> place = keptPlace())
        m_sub->move(*place);
    noteGeometry();
    if (m_settings.value(m_section, kMaximized) == QLatin1String("1")) {
        m_sub->showMaximized();
        m_maximised = true;
    }
    return true;
}

bool KeptGeometry::restoreSize()
{
    if (!m_sub)
        return false;
    const QWidget* unit = m_sub->widget() ? m_sub->widget() : m_sub.data();
    const std::optional<int> width = keptTwips(m_settings, m_section, kWidth);
    const std::optional<int> height = keptTwips(m_settings, m_section, kHeight);
    if (!width || !height || *width <= 0 || *height <= 0)
        return false;
    QSize size(toPixelsX(unit, *width), toPixelsY(unit, *height));
    if (const QMdiArea* area = m_sub->mdiArea())
        size = size.boundedTo(area->maximumViewportSize());
    m_sub->resize(size.expandedTo(m_sub->minimumSize()));
    noteGeometry();
    return true;
}

std::optional<QPoint> KeptGeometry::keptPlace() const
{
    const auto* child = m_sub ? qobject_cast<const MdiChild*>(m_sub->widget()) : nullptr;
    const std::optional<int> top = keptTwips(m_settings, m_section, kTop);
    const std::optional<int> left = keptTwips(m_settings, m_section, kLeft);
    if (!child || !top || !left)
        return std::nullopt;
    const QPoint place(toPixelsX(child, *left), toPixelsY(child, *top));
    if (!child->withinReach(place))
        return std::nullopt;
    return place;
}

void KeptGeometry::save()
{
    if (!m_sub)
        return;
    const QWidget* unit = m_sub->widget() ? m_sub->widget() : m_sub.data();
    m_settings.setValue(m_section, kTop, QString::number(toTwipsY(unit, m_normal.y())));
    m_settings.setValue(m_section, kLeft, QString::number(toTwipsX(unit, m_normal.x())));
    m_settings.setValue(m_section, kWidth, QString::number(toTwipsX(unit, m_normal.width())));
    m_settings.setValue(m_section, kHeight, QString::number(toTwipsY(unit, m_normal.height())));
    m_settings.setValue(m_section, kMaximized, m_maximised ? QStringLiteral("1") : QStringLiteral("0"));
}

void KeptGeometry::noteGeometry()
{
    if (m_sub && !m_restoring && !m_sub->isMaximized() && !m_sub->isMinimized())
        m_normal = m_sub->geometry();
}

bool KeptGeometry::eventFilter(QObject* watched, QEvent* event)
{
    // Compared as an object: while the window is destroyed it is one no more.
    if (watched == m_watched) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            noteGeometry();
            break;
        case QEvent::WindowStateChange:
            if ((static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMaximized) && !m_sub->isMaximized()
                && !m_sub->isMinimized()) {
                // Back from maximised: the frame forgets the size the window
                // had when it was closed meanwhile (and passes through the
                // maximised size on the way), so it gets its own again.
                m_restoring = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        m_restoring = false;
                        if (m_sub && !m_sub->isMaximized() && !m_sub->isMinimized())
                            m_sub->setGeometry(m_normal);
                    },
                    Qt::QueuedConnection);
            }
            m_maximised = m_sub->isMaximized();
            break;
        case QEvent::Show:
            // Shown again maximised, the frame passes through sizes of its own
            // before the window settles: none of them is the window's.
            m_restoring = true;
            QMetaObject::invokeMethod(this, [this] { m_restoring = false; }, Qt::QueuedConnection);
            break;
        case QEvent::Hide:
            // Closed (hidden for later), or going with the program's end.
            if (!m_sub->isMinimized())
                save();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tellvane
