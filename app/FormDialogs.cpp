// Message boxes and the folder picker of the desktop.
#include "app/FormDialogs.h"

#include "window/WindowTexts.h"

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

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// A question with two answers; true when the user gives the first.
bool AskYesOrNo(QWidget* parent, const QString& title, const QString& text, const QString& detail,
                const char* yes, const char* no, bool yesByDefault)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(detail);
    QPushButton* yesButton = box.addButton(Text(yes), QMessageBox::AcceptRole);
    QPushButton* noButton = box.addButton(Text(no), QMessageBox::RejectRole);
    box.setDefaultButton(yesByDefault ? yesButton : noButton);
    box.setEscapeButton(noButton);
    box.exec();
    return box.clickedButton() == yesButton;
}

} // namespace

FormatChoice TQtFormDialogs::AskFormatMismatch(QWidget* parent, const QString& title, const QString& text,
                                               const QString& chosen, const QString& found)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(Text(windowtext::FormatQuestionDetail(found.toStdString(), chosen.toStdString())));
    QPushButton* asFound = box.addButton(Text(windowtext::ConvertAsButton(found.toStdString())), QMessageBox::AcceptRole);
    QPushButton* asChosen =
        box.addButton(Text(windowtext::ConvertAsButton(chosen.toStdString())), QMessageBox::AcceptRole);
    QPushButton* goBack = box.addButton(Text(windowtext::kGoBackButton), QMessageBox::RejectRole);
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
    return AskYesOrNo(parent, title, text, Text(windowtext::kAddAgainDetail), windowtext::kAddAgainButton,
                      windowtext::kGoBackButton, false);
}

ResumeChoice TQtFormDialogs::AskFinishTheRest(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(Text(windowtext::kFinishTheRestDetail));
    QPushButton* finish = box.addButton(Text(windowtext::kFinishTheRestButton), QMessageBox::AcceptRole);
    QPushButton* addAgain = box.addButton(Text(windowtext::kAddAgainButton), QMessageBox::AcceptRole);
    QPushButton* goBack = box.addButton(Text(windowtext::kGoBackButton), QMessageBox::RejectRole);
    box.setDefaultButton(finish);
    box.setEscapeButton(goBack);
    box.exec();
    if (box.clickedButton() == finish)
        return ResumeChoice::FinishTheRest;
    return box.clickedButton() == addAgain ? ResumeChoice::AddAgain : ResumeChoice::GoBack;
}

void TQtFormDialogs::ShowDetails(QWidget* parent, const QString& title, const QString& line, const QString& details)
{
    QMessageBox box(QMessageBox::Information, title, line, QMessageBox::Ok, parent);
    box.setDetailedText(details);
    box.exec();
}

bool TQtFormDialogs::AskStopAndClose(QWidget* parent)
{
    return AskYesOrNo(parent, Text(windowtext::kStopAndCloseTitle), Text(windowtext::kStopAndCloseText), QString(),
                      windowtext::kStopAndCloseButton, windowtext::kKeepConvertingButton, false);
}

bool TQtFormDialogs::AskRecover(QWidget* parent, const QString& title, const QString& text)
{
    return AskYesOrNo(parent, title, text, QString(), windowtext::kRecoverButton, windowtext::kNotNowButton, true);
}

bool TQtFormDialogs::AskUndo(QWidget* parent, const QString& title, const QString& text)
{
    return AskYesOrNo(parent, title, text, QString(), windowtext::kYesButton, windowtext::kNoButton, false);
}

} // namespace norrvik
