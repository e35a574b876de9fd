#include "app/SplashWindow.h"

#include "core/Version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace tellvane {

SplashWindow::SplashWindow(std::function<void()> openMain, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_openMain(std::move(openMain)),
      m_version(new QLabel(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(480, 260);

    auto* product = new QLabel(QStringLiteral("Tellvane Diagnostic Software"), this);
    QFont big = product->font();
    big.setPointSize(18);
    big.setBold(true);
    product->setFont(big);
    auto* maker = new QLabel(QStringLiteral("Service tool for Velmarco control boards on the CAN bus"), this);
    m_version->setObjectName(QStringLiteral("lblVersion"));
    m_version->setText(QStringLiteral("Version ") + QString::number(kVersionMajor) + QLatin1Char('.')
                       + QString::number(kVersionMinor) + QLatin1Char('.') + QString::number(kVersionRevision));
    for (QLabel* label : {product, maker, m_version}) {
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    }
    auto* layout = new QVBoxLayout(this);
    layout->addStretch(2);
    layout->addWidget(product);
    layout->addWidget(maker);
    layout->addStretch(1);
    layout->addWidget(m_version);
    layout->addStretch(1);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_timer.setSingleShot(true);
    m_timer.setInterval(kShowMs);
    connect(&m_timer, &QTimer::timeout, this, &SplashWindow::proceed);
    m_timer.start();
}

void SplashWindow::proceed()
{
    m_timer.stop();
    if (m_opened)
        return;
    m_opened = true;
    if (m_openMain)
        m_openMain();
    close();
}

void SplashWindow::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    proceed();
}

void SplashWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(18, 52, 96));
    g.setColorAt(1, QColor(8, 20, 40));
    p.fillRect(rect(), g);
    p.setPen(QPen(QColor(90, 200, 120), 2));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

}  // namespace tellvane
