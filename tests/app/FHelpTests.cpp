// The help dialog: its frame, its button and its text line by line.
#include "app/FHelp.h"
#include "FakeDialogs.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace norrvik {
namespace {

TEST(HelpDialog, FrameAndButton)
{
    test::EnsureApplication();
    TfrmHelp help;
    EXPECT_EQ(help.windowTitle(), "Help");
    EXPECT_EQ(help.size(), QSize(639, 413));
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    EXPECT_EQ(help.memMemo->objectName(), "memMemo");
    EXPECT_EQ(help.memMemo->geometry(), QRect(8, 8, 625, 369));
    EXPECT_TRUE(help.memMemo->isReadOnly());
    EXPECT_EQ(help.memMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(help.OKBtn->objectName(), "OKBtn");
    EXPECT_EQ(help.OKBtn->text(), "Close");
    EXPECT_EQ(help.OKBtn->geometry(), QRect(560, 384, 75, 23));
    EXPECT_TRUE(help.OKBtn->isDefault());

    // Close, Return and Escape all end the dialog with the result OK.
    for (const auto& close : std::initializer_list<std::function<void()>>{
             [&] { help.OKBtn->click(); },
             [&] { QTest::keyClick(&help, Qt::Key_Return); },
             [&] { QTest::keyClick(&help, Qt::Key_Escape); }}) {
        help.setResult(-1);
        help.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
        help.OKBtn->setFocus();
        close();
        EXPECT_FALSE(help.isVisible());
        EXPECT_EQ(help.result(), QDialog::Accepted);
    }
}

TEST(HelpDialog, TextLineByLine)
{
    test::EnsureApplication();
    const QStringList expected{
        "=========================",
        "   Norrvik.EXE  ",
        "=========================",
        "",
        "This is a tool to convert existing (Kandor, Veltro, Quorvane) user reference patterns databases into "
        "reference databases in ",
        "the Orvel Tessaly format.",
        "",
        "You first need to select the format and the folder of one old user reference patterns database. Then you "
        "select a target folder for ",
        "the new database in Orvel Tessaly format.",
        "",
        "The target folder is either:",
        "- a new folder name;",
        "  (in this case a new user reference patterns database is generated);",
        "- an existing folder with an Orvel Tessaly reference database in it",
        "  (in this case the user reference patterns are added to the existing database, make sure you are allowed "
        "to write to this drive.)",
        "",
        "NOTES:",
        "- The old folder must exist; a target folder that does not exist yet is created by this utility.",
        "- Make sure there is enough space available on the target disk. Disk space is not checked by this utility.",
        "-----------------------------------",
        "",
        "The following formats can be converted:",
        "- Veltro (VAX-VMS) format:",
        "  (Uplog.PDF file plus a series of *.DI files)",
        "- Kandor format:",
        "  (Pddatabs.DAT file plus a series of *.RP or *.DI files)",
        "- Quorvane / Orvel Selvane format:",
        "  (eight files per database, of which QUORVANE.DIS, QUORVANE.FRM, QUORVANE.IND and QUORVANE.NAM are read;",
        "  QUORVANE.IA0, QUORVANE.IA5, QUORVANE.IB0 and QUORVANE.IB5 are not needed)",
        "- PDF1 reference database in Vantrel (!) format (NOT the original ICDD-PDF1 database):",
        "  (ten files per database, of which QUORVANE.DIS, QUORVANE.FRM, QUORVANE.IND, QUORVANE.NAM and QUORVANE.ILS",
        "  are read; QUORVANE.IA0, QUORVANE.IA5, QUORVANE.IB0, QUORVANE.IB5 and QUORVANE.SBF are not needed)",
        "- Tessaly reference database (for example the previous release of a licensed database):",
        "  (ReferenceDatabase.PDB and the other .PDB files; every user pattern is added under the next free user code "
        "of the target,",
        "  with all of its lines and texts as they are; a reference pattern is added only when the target lacks its "
        "code)",
        "-----------------------------------",
        "",
        "ATTENTION:",
        "",
        "Do not convert \"Tarnwell\", the example reference database delivered with the Orvel Selvane software.",
        "",
        "(This database consists of a few patterns, but is \"completed\" with empty patterns up to a total of 9999 "
        "entries.)",
        "",
        "-----------------------------------",
    };
    ASSERT_EQ(expected.size(), 44);

    TfrmHelp help;
    // The text box shows exactly these lines (a block per line).
    const QStringList shown = help.memMemo->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(shown.size(), expected.size());
    ASSERT_EQ(help.memMemo->document()->blockCount(), 44);
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(shown[i], expected[i]) << "line " << i + 1;
}

} // namespace
} // namespace norrvik
