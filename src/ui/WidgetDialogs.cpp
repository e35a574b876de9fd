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

void WidgetDialogs::beep()
{
    QApplication::beep();
}

}  // namespace tellvane
