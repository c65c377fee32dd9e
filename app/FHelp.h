// The help dialog: a read-only text about what the program converts and how
// the target folder is chosen, closed with its one button. The window makes
// it once and shows it modally each time Help is pressed.
#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

namespace norrvik {

class TfrmHelp : public QDialog {
    Q_OBJECT
public:
    explicit TfrmHelp(QWidget* parent = nullptr);

    // The help text, one entry per line of the text box.
    static QStringList HelpLines();

    QPlainTextEdit* memMemo = nullptr;
    QPushButton* OKBtn = nullptr;

public slots:
    // Escape and the window's close box end the dialog like the Close
    // button does, with the result Accepted.
    void reject() override;
};

} // namespace norrvik
