// The help dialog and its text.
#include "app/FHelp.h"

#include "app/WindowFont.h"
#include "window/WindowTexts.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace norrvik {

namespace {

constexpr int kClientWidth = 639;
constexpr int kClientHeight = 413;

} // namespace

QStringList TfrmHelp::HelpLines()
{
    QStringList lines;
    for (const std::string& line : windowtext::HelpLines())
        lines << QString::fromStdString(line);
    return lines;
}

TfrmHelp::TfrmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QString::fromUtf8(windowtext::kHelpTitle));
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    memMemo = new QPlainTextEdit(this);
    memMemo->setObjectName(QStringLiteral("memMemo"));
    memMemo->setGeometry(8, 8, 625, 369);
    memMemo->setReadOnly(true);
    memMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memMemo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memMemo->setPlainText(HelpLines().join(QLatin1Char('\n')));

    OKBtn = new QPushButton(QString::fromUtf8(windowtext::kCloseButton), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(560, 384, 75, 23);
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmHelp::reject()
{
    accept();
}

} // namespace norrvik
