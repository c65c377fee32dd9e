// The help dialog and its text.
#include "app/FHelp.h"

#include "app/WindowFont.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace norrvik {

namespace {

constexpr int kClientWidth = 639;
constexpr int kClientHeight = 413;

const QString kRule = QStringLiteral("-----------------------------------");

// What the utility does and what the target folder may be.
QStringList IntroductionLines()
{
    return {
        QStringLiteral("========================="),
        QStringLiteral("   Norrvik.EXE  "),
        QStringLiteral("========================="),
        QString(),
        QStringLiteral("This is a tool to convert existing (Kandor, Veltro, Quorvane) user reference patterns "
                       "databases into reference databases in "),
        QStringLiteral("the Orvel Tessaly format."),
        QString(),
        QStringLiteral("You first need to select the format and the folder of one old user reference patterns "
                       "database. Then you select a target folder for "),
        QStringLiteral("the new database in Orvel Tessaly format."),
        QString(),
        QStringLiteral("The target folder is either:"),
        QStringLiteral("- a new folder name;"),
        QStringLiteral("  (in this case a new user reference patterns database is generated);"),
        QStringLiteral("- an existing folder with an Orvel Tessaly reference database in it"),
        QStringLiteral("  (in this case the user reference patterns are added to the existing database, make "
                       "sure you are allowed to write to this drive.)"),
        QString(),
        QStringLiteral("NOTES:"),
        QStringLiteral("- The old folder must exist; a target folder that does not exist yet is created by this "
                       "utility."),
        QStringLiteral("- Make sure there is enough space available on the target disk. Disk space is not checked "
                       "by this utility."),
        kRule,
        QString(),
    };
}

// The formats and the files the conversion reads of each.
QStringList FormatLines()
{
    QStringList lines{
        QStringLiteral("The following formats can be converted:"),
        QStringLiteral("- Veltro (VAX-VMS) format:"),
        QStringLiteral("  (Uplog.PDF file plus a series of *.DI files)"),
        QStringLiteral("- Kandor format:"),
        QStringLiteral("  (Pddatabs.DAT file plus a series of *.RP or *.DI files)"),
        QStringLiteral("- Quorvane / Orvel Selvane format:"),
    };
    // Of the files of a Quorvane database, the conversion reads these.
    lines << QStringLiteral("  (eight files per database, of which QUORVANE.DIS, QUORVANE.FRM, QUORVANE.IND and "
                            "QUORVANE.NAM are read;")
          << QStringLiteral("  QUORVANE.IA0, QUORVANE.IA5, QUORVANE.IB0 and QUORVANE.IB5 are not needed)");
    lines << QStringLiteral("- PDF1 reference database in Vantrel (!) format (NOT the original ICDD-PDF1 database):");
    lines << QStringLiteral("  (ten files per database, of which QUORVANE.DIS, QUORVANE.FRM, QUORVANE.IND, "
                            "QUORVANE.NAM and QUORVANE.ILS")
          << QStringLiteral("  are read; QUORVANE.IA0, QUORVANE.IA5, QUORVANE.IB0, QUORVANE.IB5 and QUORVANE.SBF are "
                            "not needed)");
    // The carry-over of a lab's own patterns from an older Tessaly release.
    lines << QStringLiteral("- Tessaly reference database (for example the previous release of a licensed database):")
          << QStringLiteral("  (ReferenceDatabase.PDB and the other .PDB files; every user pattern is added under the "
                            "next free user code of the target,")
          << QStringLiteral("  with all of its lines and texts as they are; a reference pattern is added only when the "
                            "target lacks its code)");
    return lines;
}

} // namespace

QStringList TfrmHelp::HelpLines()
{
    QStringList lines = IntroductionLines() + FormatLines();
    lines << kRule << QString() << QStringLiteral("ATTENTION:") << QString()
          << QStringLiteral("Do not convert \"Tarnwell\", the example reference database delivered with the Orvel "
                            "Selvane software.")
          << QString()
          << QStringLiteral("(This database consists of a few patterns, but is \"completed\" with empty patterns up "
                            "to a total of 9999 entries.)")
          << QString() << kRule;
    return lines;
}

TfrmHelp::TfrmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Help"));
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

    OKBtn = new QPushButton(QStringLiteral("Close"), this);
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
