// Reading Veltro logs and pattern files: entries, formulas, names, lines.
#include "sources/veltro/VeltroUserDB.h"

#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "common/Numbers.h"
#include "support/TempFolder.h"
#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace norrvik {
namespace {

using test::Element;
using test::Group;
using test::VeltroBlockEnds;
using test::VeltroFormula;
using test::VeltroLineEntry;
using test::VeltroLogEntry;

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

TVeltroReferencePattern EntryOf(TVeltroUserDB& db, std::int32_t index)
{
    TVeltroReferencePattern entry;
    db.GetEntry(index, entry);
    return entry;
}

// Ten entries: the log takes two blocks, so its block ends matter.
std::vector<VeltroLogEntry> TenEntries()
{
    std::vector<VeltroLogEntry> entries;
    for (int i = 0; i < 10; ++i)
        entries.push_back({"P" + std::to_string(i), VeltroFormula({Element("Si"), Group("SiO4")}),
                           "Name " + std::to_string(i), static_cast<std::int16_t>(i), static_cast<std::int16_t>(-i)});
    return entries;
}

TEST(VeltroLog, BlockEndsOfTheCopyDoNotChangeTheEntries)
{
    for (VeltroBlockEnds ends : {VeltroBlockEnds::None, VeltroBlockEnds::LineFeed,
                                 VeltroBlockEnds::CarriageReturnLineFeed}) {
        test::TempFolder folder;
        test::WriteVeltroFile(folder.Path(), "uplog.pdf", test::VeltroLogBytes(TenEntries(), std::nullopt, 77, -3),
                              ends);
        TVeltroUserDB db;
        db.SetDBName(folder.Text());
        ASSERT_EQ(db.EntryCount(), 10);
        EXPECT_EQ(db.HeaderValue8(), 77);
        EXPECT_EQ(db.HeaderValue10(), -3);
        for (int i = 0; i < 10; ++i) {
            const auto entry = EntryOf(db, i);
            EXPECT_EQ(entry.PatternFile, "P" + std::to_string(i));
            EXPECT_EQ(entry.Formula, "Si SiO4");
            EXPECT_EQ(entry.Name, "Name " + std::to_string(i));
            EXPECT_EQ(entry.Value1, i);
            EXPECT_EQ(entry.Value2, -i);
            EXPECT_EQ(entry.LoadState, kVeltroNoPatternFile); // no pattern files written
        }
    }
}

TEST(VeltroLog, LengthAndEntryCountAreChecked)
{
    test::TempFolder folder;
    TVeltroUserDB db;
    EXPECT_EQ(db.DBName(), "<Unknown>");
    EXPECT_EQ(db.FolderWithPatterns(), "<Unknown>");
    EXPECT_EQ(db.HeaderValue8(), -1);

    // No log: no entries, no error.
    db.SetDBName(folder.Text());
    EXPECT_EQ(db.EntryCount(), 0);

    // 1 025 bytes with a line feed after the first block: 16 records, so a
    // header may count 15 entries but not 16.
    auto log = test::WithBlockEnds(test::VeltroLogBytes(std::vector<VeltroLogEntry>(15, {"A", {}, ""})),
                                   VeltroBlockEnds::LineFeed);
    ASSERT_EQ(log.size(), 1026u);
    log.resize(1025);
    test::WriteFile(folder.Path() / "uplog.pdf", log);
    TVeltroUserDB fifteen;
    fifteen.SetDBName(folder.Text());
    EXPECT_EQ(fifteen.EntryCount(), 15);
    TVeltroReferencePattern entry;
    EXPECT_EQ(MessageOf([&] { fifteen.GetEntry(-1, entry); }), "Index out of range");
    EXPECT_EQ(MessageOf([&] { fifteen.GetEntry(15, entry); }), "Index out of range");
    EXPECT_NO_THROW(fifteen.GetEntry(14, entry));

    WriteI16LE(log, 6, 16);
    test::WriteFile(folder.Path() / "uplog.pdf", log);
    TVeltroUserDB sixteen;
    const std::string message = MessageOf([&] { sixteen.SetDBName(folder.Text()); });
    EXPECT_NE(message.find("uplog.pdf"), std::string::npos) << message;
    EXPECT_NE(message.find("16 entries"), std::string::npos) << message;
    EXPECT_EQ(sixteen.EntryCount(), 0);

    WriteI16LE(log, 6, -1);
    test::WriteFile(folder.Path() / "uplog.pdf", log);
    TVeltroUserDB negative;
    EXPECT_THROW(negative.SetDBName(folder.Text()), Exception);

    // An unterminated content that is no whole number of records.
    test::WriteFile(folder.Path() / "uplog.pdf", std::vector<std::uint8_t>(700, 0));
    TVeltroUserDB odd;
    EXPECT_EQ(MessageOf([&] { odd.SetDBName(folder.Text()); }), "Incorrect length of file UPLOG.PDF.");

    // A short log is padded with zeros: a count of 7 fits one block.
    std::vector<std::uint8_t> shortLog(100, 0);
    WriteI16LE(shortLog, 6, 7);
    test::WriteFile(folder.Path() / "uplog.pdf", shortLog);
    TVeltroUserDB padded;
    padded.SetDBName(folder.Text());
    EXPECT_EQ(padded.EntryCount(), 7);
    EXPECT_EQ(EntryOf(padded, 6).LoadState, kVeltroNoPatternFile);
}

TEST(VeltroLog, AFolderNamedLikeThePlaceholderIsStillRead)
{
    test::TempFolder folder;
    std::filesystem::create_directory(folder.Path() / "<Unknown>");
    test::WriteVeltroFile(folder.Path() / "<Unknown>", "uplog.pdf", test::VeltroLogBytes(TenEntries()));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    TVeltroUserDB db;
    db.SetDBName("<Unknown>");
    std::filesystem::current_path(previous);
    EXPECT_EQ(db.EntryCount(), 10);
}

TEST(VeltroLog, PatternFileNamesLoseTheirDirectoryAndAreFoundInAnyCase)
{
    test::TempFolder folder;
    const std::vector<VeltroLogEntry> entries = {
        {"[USER.DB]quartz", {}, ""},
        {"  calcite \t", {}, ""},
        {"[ONLY.DIR]", VeltroFormula({Element("Fe")}), "Lost"},
        {std::string("ab\0cd", 5), {}, ""}, // the name ends at its zero byte
        {"abcdefghijklmnopqrstuvwx", {}, ""}, // 24 characters, no zero byte
    };
    test::WriteVeltroFile(folder.Path(), "UPLOG.PDF", test::VeltroLogBytes(entries));
    const std::vector<VeltroLineEntry> oneLine = {{4000, 10, 0}};
    test::WriteVeltroFile(folder.Path(), "QUARTZ.di", test::VeltroPatternBytes(1.5406, oneLine));
    test::WriteVeltroFile(folder.Path(), "calcite.DI", test::VeltroPatternBytes(1.5406, oneLine));
    TVeltroUserDB db;
    db.SetDBName(folder.Text());
    ASSERT_EQ(db.EntryCount(), 5);
    EXPECT_EQ(EntryOf(db, 0).PatternFile, "QUARTZ");
    EXPECT_EQ(EntryOf(db, 0).LoadState, kVeltroLinesLoaded);
    EXPECT_EQ(EntryOf(db, 1).PatternFile, "CALCITE");
    EXPECT_EQ(EntryOf(db, 1).LineCount, 1);
    // No file name: no pattern file, and the texts are not decoded.
    const auto nameless = EntryOf(db, 2);
    EXPECT_EQ(nameless.PatternFile, "");
    EXPECT_EQ(nameless.LoadState, kVeltroNoPatternFile);
    EXPECT_EQ(nameless.Formula, "");
    EXPECT_EQ(EntryOf(db, 3).PatternFile, "AB");
    EXPECT_EQ(EntryOf(db, 4).PatternFile, "ABCDEFGHIJKLMNOPQRSTUVWX");
}

TEST(VeltroLog, FormulaCodeAndNameAfterIt)
{
    test::TempFolder folder;
    const std::vector<VeltroLogEntry> entries = {
        {"A", {154, '2', 231, '3'}, "Iron sulphate"},
        {"B", VeltroFormula({Element("Ca"), " .5", Element("Mg"), " .5", Group("CO3"), "2"}), "  Dolomite  "},
        {"C", VeltroFormula({"x .y z . 5 ", Element("O")}), ""},
        // The first and last codes of both tables, and "?" for code 128.
        {"D", {128, 129, 228, 229, 255}, "Edges"},
        // A formula filling the record leaves no name.
        {"E", std::vector<std::uint8_t>(36, 'A'), ""},
        // A name running to the record's end without a zero byte.
        {"F", {'C'}, std::string(34, 'n')},
        {"G", {' ', 'N', 'a', 'C', 'l', '\t'}, "\x01Halite"},
    };
    test::WriteVeltroFile(folder.Path(), "uplog.pdf", test::VeltroLogBytes(entries));
    TVeltroUserDB db;
    db.SetDBName(folder.Text());
    ASSERT_EQ(db.EntryCount(), 7);
    EXPECT_EQ(EntryOf(db, 0).Formula, "Fe2 SO43");
    EXPECT_EQ(EntryOf(db, 0).Name, "Iron sulphate");
    EXPECT_EQ(EntryOf(db, 1).Formula, "Ca.5 Mg.5 CO32");
    EXPECT_EQ(EntryOf(db, 1).Name, "Dolomite");
    EXPECT_EQ(EntryOf(db, 2).Formula, "x .y z . 5  O"); // the code brings its own blank
    EXPECT_EQ(EntryOf(db, 3).Formula, "? H Fm H2O ReO4");
    EXPECT_EQ(EntryOf(db, 4).Formula, std::string(36, 'A'));
    EXPECT_EQ(EntryOf(db, 4).Name, "");
    EXPECT_EQ(EntryOf(db, 5).Name, std::string(34, 'n'));
    EXPECT_EQ(EntryOf(db, 6).Formula, "NaCl");
    EXPECT_EQ(EntryOf(db, 6).Name, "Halite");
}

// A folder with a one-entry log whose pattern file is `bytes`.
void WriteOnePattern(const test::TempFolder& folder, const std::vector<std::uint8_t>& bytes,
                     VeltroBlockEnds ends = VeltroBlockEnds::None)
{
    test::WriteVeltroFile(folder.Path(), "uplog.pdf", test::VeltroLogBytes({{"PAT", {'X'}, "Name"}}));
    test::WriteVeltroFile(folder.Path(), "PAT.DI", bytes, ends);
}

TVeltroReferencePattern LoadOne(const test::TempFolder& folder)
{
    TVeltroUserDB db;
    db.SetDBName(folder.Text());
    return EntryOf(db, 0);
}

TEST(VeltroLines, TwoThetaCodesGiveDSpacings)
{
    test::TempFolder folder;
    WriteOnePattern(folder, test::VeltroPatternBytes(1.5406, {{4000, 10, 0}, {-4000, 10, 0}, {-1, 10, 0}, {1, 10, 0}}));
    const auto entry = LoadOne(folder);
    ASSERT_EQ(entry.LineCount, 4);
    ASSERT_EQ(entry.Lines.size(), 4u);
    const double lambda = 1.5406f;
    EXPECT_NEAR(entry.Lines[0].D, 4.43598, 5e-6);                                  // 20.000 deg
    EXPECT_DOUBLE_EQ(entry.Lines[0].D, lambda / (2 * SineOfDegrees(10.0)));
    EXPECT_DOUBLE_EQ(entry.Lines[1].D, lambda / (2 * SineOfDegrees(19.9975 / 2))); // (4000 - 1) steps + half
    EXPECT_DOUBLE_EQ(entry.Lines[2].D, lambda / (2 * SineOfDegrees(0.0025 / 2)));
    EXPECT_DOUBLE_EQ(entry.Lines[3].D, lambda / (2 * SineOfDegrees(0.005 / 2)));
}

TEST(VeltroLines, IntensitiesArePercentOfTheStrongestAtLeastOne)
{
    test::TempFolder folder;
    // p^2/100 - b^2/100: 400, 100, 16, 0.25, -3.
    WriteOnePattern(folder, test::VeltroPatternBytes(1.5, {{100, 200, 0}, {200, 100, 0}, {300, 50, 30},
                                                           {400, 5, 0}, {500, 10, 20}}));
    const auto entry = LoadOne(folder);
    ASSERT_EQ(entry.LineCount, 5);
    EXPECT_DOUBLE_EQ(entry.Lines[0].Intensity, 100.0);
    EXPECT_DOUBLE_EQ(entry.Lines[1].Intensity, 25.0);
    EXPECT_DOUBLE_EQ(entry.Lines[2].Intensity, 4.0);
    EXPECT_DOUBLE_EQ(entry.Lines[3].Intensity, 1.0);
    EXPECT_DOUBLE_EQ(entry.Lines[4].Intensity, 1.0);

    // A strongest line below 1 is not scaled up beyond dividing by 1 %.
    WriteOnePattern(folder, test::VeltroPatternBytes(1.5, {{100, 9, 0}, {200, 5, 0}}));
    const auto weak = LoadOne(folder);
    EXPECT_DOUBLE_EQ(weak.Lines[0].Intensity, 81.0);
    EXPECT_DOUBLE_EQ(weak.Lines[1].Intensity, 25.0);
}

std::vector<VeltroLineEntry> NumberedLines(int count)
{
    std::vector<VeltroLineEntry> lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back({static_cast<std::int16_t>(1000 + i), 10, 0});
    return lines;
}

TEST(VeltroLines, LinesRunAcrossBlocksAndEndAtCodeZeroOrTheContent)
{
    for (VeltroBlockEnds ends : {VeltroBlockEnds::None, VeltroBlockEnds::LineFeed,
                                 VeltroBlockEnds::CarriageReturnLineFeed}) {
        test::TempFolder folder;
        WriteOnePattern(folder, test::VeltroPatternBytes(1.5406, NumberedLines(110)), ends);
        const auto entry = LoadOne(folder);
        ASSERT_EQ(entry.LineCount, 110);
        for (int i : {0, 50, 51, 101, 102, 109})
            EXPECT_DOUBLE_EQ(entry.Lines[static_cast<std::size_t>(i)].D,
                             DSpacingFromTwoTheta(1.5406f, (1001 + i) * 0.005)) << i;
    }

    // A code of 0 ends the list although the counts promise more.
    test::TempFolder folder;
    auto lines = NumberedLines(60);
    lines[55].TwoThetaCode = 0;
    WriteOnePattern(folder, test::VeltroPatternBytes(1.5406, lines));
    EXPECT_EQ(LoadOne(folder).LineCount, 55);

    // Counts promising more lines than the blocks hold: only lines inside.
    auto promising = test::VeltroPatternBytes(1.5406, NumberedLines(51));
    WriteI16LE(promising, 512, 30000);
    WriteOnePattern(folder, promising);
    EXPECT_EQ(LoadOne(folder).LineCount, 51);

    // A file of one block has no lines.
    WriteOnePattern(folder, test::VeltroPatternBytes(1.5406, {}));
    const auto empty = LoadOne(folder);
    EXPECT_EQ(empty.LoadState, kVeltroLinesLoaded);
    EXPECT_EQ(empty.LineCount, 0);
}

TEST(VeltroLines, TenLinesInAnUnterminatedTwoBlockFileAreKept)
{
    // The first count, 10, sits at byte 512 where a line feed would be.
    test::TempFolder folder;
    const auto bytes = test::VeltroPatternBytes(1.5406, NumberedLines(10));
    ASSERT_EQ(bytes.size(), 1024u);
    ASSERT_EQ(bytes[512], 10);
    WriteOnePattern(folder, bytes);
    const auto entry = LoadOne(folder);
    ASSERT_EQ(entry.LineCount, 10);
    EXPECT_DOUBLE_EQ(entry.Lines[9].D, DSpacingFromTwoTheta(1.5406f, 1010 * 0.005));
}

TEST(VeltroLines, LoadedOnFirstRequestAndKept)
{
    test::TempFolder folder;
    test::WriteVeltroFile(folder.Path(), "uplog.pdf",
                          test::VeltroLogBytes({{"LATE", {'X'}, "Name"}, {"OTHER", {'Y'}, "Other"}}));
    TVeltroUserDB db;
    db.SetDBName(folder.Text());
    // Written after the log was read: lines come from the first GetEntry.
    test::WriteVeltroFile(folder.Path(), "LATE.di", test::VeltroPatternBytes(1.5406, NumberedLines(3)));
    EXPECT_EQ(EntryOf(db, 0).LineCount, 3);
    std::filesystem::remove(folder.Path() / "LATE.di");
    const auto again = EntryOf(db, 0);
    EXPECT_EQ(again.LineCount, 3);
    EXPECT_EQ(again.LoadState, kVeltroLinesLoaded);

    // Setting the same folder again keeps the entries; a missing pattern file
    // leaves the texts and gives no lines.
    db.SetDBName(folder.Text());
    EXPECT_EQ(EntryOf(db, 0).LineCount, 3);
    // Only the last entry read holds its lines: after another entry, entry 0
    // is read again (and its file is gone).
    EXPECT_EQ(EntryOf(db, 1).LoadState, kVeltroNoPatternFile);
    EXPECT_EQ(EntryOf(db, 0).LoadState, kVeltroNoPatternFile);
    TVeltroUserDB fresh;
    fresh.SetDBName(folder.Text());
    const auto missing = EntryOf(fresh, 0);
    EXPECT_EQ(missing.LoadState, kVeltroNoPatternFile);
    EXPECT_EQ(missing.LineCount, 0);
    EXPECT_EQ(missing.Formula, "X");
    EXPECT_EQ(missing.Name, "Name");
}

TEST(VeltroLines, DamagedPatternFilesAreReportedByName)
{
    test::TempFolder folder;
    WriteOnePattern(folder, std::vector<std::uint8_t>(300, 0));
    TVeltroUserDB shortFile;
    shortFile.SetDBName(folder.Text());
    TVeltroReferencePattern entry;
    std::string message = MessageOf([&] { shortFile.GetEntry(0, entry); });
    EXPECT_NE(message.find("PAT.DI"), std::string::npos) << message;
    EXPECT_NE(message.find("shorter than one block"), std::string::npos) << message;

    WriteOnePattern(folder, test::VeltroPatternBytes(test::VaxWordBytes(0x8000, 0), NumberedLines(2)));
    TVeltroUserDB reserved;
    reserved.SetDBName(folder.Text());
    message = MessageOf([&] { reserved.GetEntry(0, entry); });
    EXPECT_NE(message.find("PAT.DI"), std::string::npos) << message;
}

} // namespace
} // namespace norrvik
