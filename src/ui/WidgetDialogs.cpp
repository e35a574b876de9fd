#include "ui/WidgetDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace tellvane {

void WidgetDialogs::information(const QString& title, const QString& text)
{
    QMessageBox::information(m_parent, title, text, QMessageBox::Ok);
}

QString WidgetDialogs::openFileName(const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(m_parent, caption, folder, filter);
}

QString WidgetDialogs::saveFileName(const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getSaveFileName(m_parent, caption, folder, filter);
}

bool WidgetDialogs::question(const QString& title, const QString& text)
{
    return QMessageBox::question(m_parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void WidgetDialogs::beep()
{
    QApplication::beep();
}

}  // namespace tellvane
