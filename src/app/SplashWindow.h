#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;

namespace tellvane {

// frmSplash: shows the version for two seconds, or until a key is pressed,
// then opens the main window once.
class SplashWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShowMs = 2000;

    explicit SplashWindow(std::function<void()> openMain, QWidget* parent = nullptr);

    QLabel* versionLabel() const { return m_version; }
    const QTimer& timer() const { return m_timer; }
    bool mainOpened() const { return m_opened; }

    // Timer1 fired, or a key was pressed.
    void proceed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> m_openMain;
    QTimer m_timer;
    QLabel* m_version;
    bool m_opened = false;
};

}  // namespace tellvane
