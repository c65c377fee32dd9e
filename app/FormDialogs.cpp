// Message boxes and the folder picker of the desktop.
#include "app/FormDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

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

std::optional<QString> TQtFormDialogs::ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

FormatChoice TQtFormDialogs::AskFormatMismatch(QWidget* parent, const QString& title, const QString& text,
                                               const QString& chosen, const QString& found)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(QStringLiteral("Convert it as %1 format, as %2 format, or go back?").arg(found, chosen));
    QPushButton* asFound = box.addButton(QStringLiteral("Convert as %1").arg(found), QMessageBox::AcceptRole);
    QPushButton* asChosen = box.addButton(QStringLiteral("Convert as %1").arg(chosen), QMessageBox::AcceptRole);
    QPushButton* goBack = box.addButton(QStringLiteral("Go back"), QMessageBox::RejectRole);
    box.setDefaultButton(asFound);
    box.setEscapeButton(goBack);
    box.exec();
    if (box.clickedButton() == asFound)
        return FormatChoice::AsFound;
    if (box.clickedButton() == asChosen)
        return FormatChoice::AsChosen;
    return FormatChoice::GoBack;
}

bool TQtFormDialogs::AskAddAgain(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(QStringLiteral("Add the entries again? Each becomes a new pattern, so the database "
                                          "would hold them twice."));
    QPushButton* addAgain = box.addButton(QStringLiteral("Add again"), QMessageBox::AcceptRole);
    QPushButton* goBack = box.addButton(QStringLiteral("Go back"), QMessageBox::RejectRole);
    box.setDefaultButton(goBack);
    box.setEscapeButton(goBack);
    box.exec();
    return box.clickedButton() == addAgain;
}

} // namespace norrvik
