// Message boxes and the folder picker of the desktop.
#include "app/FormDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace norrvik {

void TQtFormDialogs::ShowWarning(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, parent);
    box.exec();
}

void TQtFormDialogs::ShowOkCancel(QWidget* parent, const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.exec();
}

void TQtFormDialogs::ShowError(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QString> TQtFormDialogs::ChooseFolder(QWidget* parent, const QString& title)
{
    // No start folder: the picker always starts with nothing selected,
    // whatever the edit box holds.
    const QString folder = QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

} // namespace norrvik
