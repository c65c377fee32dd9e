// Tests of the Kandor user database: the index file, finding each entry's
// pattern file, and the lines with their percent intensities.
#include "sources/kandor/KandorUserDB.h"

#include "KandorTestSupport.h"
#include "common/Exceptions.h"
#include "sources/kandor/KandorFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace norrvik;
using namespace norrvik::test;

namespace {

TKandorReferencePattern EntryOf(TKandorUserDB& db, int index)
{
    TKandorReferencePattern entry;
    db.GetEntry(index, entry);
    return entry;
}

std::vector<double> IntensitiesOf(const TKandorReferencePattern& entry)
{
    std::vector<double> result;
    for (int i = 0; i < entry.LineCount; ++i)
        result.push_back(entry.Lines[static_cast<std::size_t>(i)].Intensity);
    return result;
}

} // namespace

TEST(KandorUserDB, IndexFieldsAreTakenUnchanged)
{
    TempFolder folder;
    WriteFile(folder.Path() / "PDDATABS.DAT",
              KandorIndexFile({{"QUARTZ", " Quartz low ", "SiO2"},
                               {"ABCDEFGH", "12345678901234567890", "Al2 O3 x\tH2O"}}));
    TKandorUserDB db;
    db.SetDBName(folder.Text());
    EXPECT_EQ(db.DBName(), folder.Text());
    ASSERT_EQ(db.EntryCount(), 2);
    const TKandorReferencePattern first = EntryOf(db, 0);
    EXPECT_EQ(first.BaseName, "QUARTZ");
    EXPECT_EQ(first.Name, " Quartz low ");
    EXPECT_EQ(first.Formula, "SiO2");
    EXPECT_TRUE(first.Loaded);
    EXPECT_EQ(first.LineCount, 0); // no pattern file
    const TKandorReferencePattern second = EntryOf(db, 1);
    EXPECT_EQ(second.BaseName, "ABCDEFGH");
    EXPECT_EQ(second.Name, "12345678901234567890");
    EXPECT_EQ(second.Formula, "Al2 O3 x\tH2O");
    EXPECT_EQ(MessageOf([&] { EntryOf(db, 2); }), "Index out of range");
    EXPECT_EQ(MessageOf([&] { EntryOf(db, -1); }), "Index out of range");

    // With and without a trailing delimiter the same index file is read.
    TKandorUserDB withDelimiter;
    withDelimiter.SetDBName(folder.Text() + "/");
    EXPECT_EQ(withDelimiter.EntryCount(), 2);

    WriteFile(folder.Path() / "PDDATABS.DAT", KandorIndexFile({}));
    db.SetDBName(folder.Text());
    EXPECT_EQ(db.EntryCount(), 0);
    EXPECT_EQ(MessageOf([&] { EntryOf(db, 0); }), "Index out of range");
}

TEST(KandorUserDB, DamagedOrMissingIndexFilesAreNamed)
{
    TempFolder folder;
    const std::string index = folder.Text("PDDATABS.DAT");
    TKandorUserDB db;
    const auto messageFor = [&](const std::vector<std::uint8_t>& bytes) {
        WriteFile(folder.Path() / "PDDATABS.DAT", bytes);
        try {
            db.SetDBName(folder.Text());
        } catch (const EInOutError& error) {
            return std::string(error.what());
        }
        return std::string("(no EInOutError)");
    };
    EXPECT_EQ(messageFor({1, 0, 1}),
              "Cannot read file " + index + ": the file holds 3 bytes, too few for its entry count");
    EXPECT_EQ(messageFor(KandorIndexFile({}, -1)),
              "Cannot read file " + index + ": the entry count -1 is negative");
    std::vector<std::uint8_t> shortFile = KandorIndexFile({{"A", "B", "C"}, {"D", "E", "F"}});
    shortFile.pop_back();
    EXPECT_EQ(messageFor(shortFile), "Cannot read file " + index +
                                         ": the file holds 103 bytes, too few for its 2 entries (104 bytes)");
    EXPECT_EQ(db.EntryCount(), 0);

    TempFolder empty;
    try {
        db.SetDBName(empty.Text());
        ADD_FAILURE() << "no exception";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find(empty.Text("PDDATABS.DAT")), std::string::npos);
    }
    EXPECT_EQ(db.DBName(), empty.Text());
    EXPECT_EQ(db.EntryCount(), 0);
}

TEST(KandorUserDB, PatternFilesAreFoundByNameAndExtension)
{
    TempFolder folder;
    WriteFile(folder.Path() / "pddatabs.dat",
              KandorIndexFile({{"QUARTZ", "Quartz", "SiO2"}, {"ABCDEFGH", "Long", "X"}, {"ONLYRP", "R", "Y"}}));
    WriteFile(folder.Path() / "QUARTZ.DI", KandorPeakListFile({}, {KandorPeakAt(26.64, 100)}));
    WriteFile(folder.Path() / "quartz.rp",
              KandorPeakListFile({}, {KandorPeakAt(20, 100), KandorPeakAt(30, 100)}));
    WriteFile(folder.Path() / "ABCDEFGH.di", KandorPeakListFile({}, {KandorPeakAt(40, 100)}));
    WriteFile(folder.Path() / "ONLYRP.rp", KandorPeakListFile({}, {KandorPeakAt(50, 100)}));

    TKandorUserDB db;
    db.SetDBName(folder.Text());
    const TKandorReferencePattern quartz = EntryOf(db, 0);
    ASSERT_EQ(quartz.LineCount, 1); // .di wins over .rp
    EXPECT_NEAR(quartz.Lines[0].D, 1.54056 / (2 * std::sin(13.32 * std::numbers::pi / 180)), 1e-6);
    EXPECT_EQ(EntryOf(db, 1).LineCount, 1);
    EXPECT_NEAR(EntryOf(db, 2).Lines[0].D, 1.54056 / (2 * std::sin(25.0 * std::numbers::pi / 180)), 1e-9);

    // Only the last entry delivered is held: asked for again it is not read
    // again; another entry is read from the files when it is asked for.
    EXPECT_EQ(EntryOf(db, 0).LineCount, 1);
    std::filesystem::remove(folder.Path() / "QUARTZ.DI");
    EXPECT_EQ(EntryOf(db, 0).LineCount, 1);
    EXPECT_EQ(EntryOf(db, 1).LineCount, 1);
    EXPECT_EQ(EntryOf(db, 0).LineCount, 2); // quartz.rp now

    // An 8-bit name is looked up in UTF-8 and as its raw bytes.
    WriteFile(folder.Path() / "pddatabs.dat",
              KandorIndexFile({{"\xC9T", "utf8", "Z"}, {"\xC0T", "raw", "Z"}}));
    WriteFile(folder.Path() / "\xC3\x89T.di", KandorPeakListFile({}, {KandorPeakAt(60, 100)}));
    WriteFile(folder.Path() / "\xC0T.rp", KandorPeakListFile({}, {KandorPeakAt(70, 100)}));
    TKandorUserDB accented;
    accented.SetDBName(folder.Text());
    EXPECT_EQ(EntryOf(accented, 0).LineCount, 1);
    EXPECT_EQ(EntryOf(accented, 1).LineCount, 1);
}

TEST(KandorUserDB, EntriesAcrossTheReadWindowsKeepTheirFields)
{
    // 3,000 entries: 150,004 bytes, read in stretches; entries lie across
    // their borders, and are asked for in order, backwards and at random.
    TempFolder folder;
    std::vector<KandorIndexEntry> entries;
    for (int i = 0; i < 3000; ++i)
        entries.push_back({"B" + std::to_string(i), "Name " + std::to_string(i), "F" + std::to_string(i * 7)});
    WriteFile(folder.Path() / "PDDATABS.DAT", KandorIndexFile(entries));
    TKandorUserDB db;
    db.SetDBName(folder.Text());
    ASSERT_EQ(db.EntryCount(), 3000);
    std::vector<int> order;
    for (int i = 0; i < 3000; ++i)
        order.push_back(i);
    for (int i = 2999; i >= 0; i -= 7)
        order.push_back(i);
    for (int i : {1310, 0, 2999, 1311, 1309, 2621, 2622})
        order.push_back(i);
    for (int i : order) {
        const TKandorReferencePattern entry = EntryOf(db, i);
        ASSERT_EQ(entry.Name, "Name " + std::to_string(i));
        ASSERT_EQ(entry.BaseName, "B" + std::to_string(i));
        ASSERT_EQ(entry.Formula, "F" + std::to_string(i * 7));
    }
}

TEST(KandorUserDB, BaseNameWithPathDelimiterGivesAnEntryWithoutLines)
{
    TempFolder folder;
    WriteFile(folder.Path() / "sub" / "X.di", KandorPeakListFile({}, {KandorPeakAt(40, 100)}));
    WriteFile(folder.Path() / "PDDATABS.DAT", KandorIndexFile({{"sub/X", "N", "F"}, {"sub\\X", "N", "F"}}));
    TKandorUserDB db;
    db.SetDBName(folder.Text());
    EXPECT_TRUE(EntryOf(db, 0).NoPatternFile);
    EXPECT_TRUE(EntryOf(db, 1).NoPatternFile);
}

TEST(KandorUserDB, IntensitiesArePercentOfTheStrongestNetIntensity)
{
    TempFolder folder;
    std::vector<KandorEntryData> entries(4);
    entries[0].Entry = {"NET", "net", "A"};
    // Heights and backgrounds are squares of whole tenths, so they are stored exactly.
    entries[0].Peaks = {KandorPeakAt(10, 56.25, 6.25), KandorPeakAt(20, 225, 25), KandorPeakAt(30, 1, 0)};
    entries[1].Entry = {"FLAT", "flat", "B"};
    entries[1].Peaks = {KandorPeakAt(10, 9, 9), KandorPeakAt(20, 16, 16)};
    entries[2].Entry = {"MANY", "many", "C"};
    for (int i = 300; i >= 1; --i)
        entries[2].Peaks.push_back(KandorPeakAt(i * 0.5, i));
    entries[3].Entry = {"BELOW", "below", "D"}; // no peak above its background
    entries[3].Peaks = {KandorPeakAt(10, 1, 4), KandorPeakAt(20, 1, 9)};
    entries[0].Header.WavelengthAlpha1 = 1.78897;
    WriteKandorDatabase(folder.Path(), entries);

    TKandorUserDB db;
    db.SetDBName(folder.Text());
    const TKandorReferencePattern net = EntryOf(db, 0);
    ASSERT_EQ(net.LineCount, 3);
    EXPECT_EQ(IntensitiesOf(net), (std::vector<double>{25.0, 100.0, 1.0}));
    EXPECT_GT(net.Lines[0].D, net.Lines[1].D); // ascending 2-theta
    EXPECT_NEAR(net.Lines[0].D, 1.78897 / (2 * std::sin(5.0 * std::numbers::pi / 180)), 1e-9);

    EXPECT_EQ(IntensitiesOf(EntryOf(db, 1)), (std::vector<double>{1.0, 1.0}));
    EXPECT_EQ(IntensitiesOf(EntryOf(db, 3)), (std::vector<double>{1.0, 1.0}));

    const TKandorReferencePattern many = EntryOf(db, 2);
    ASSERT_EQ(many.LineCount, 255);
    EXPECT_NEAR(many.Lines[0].D, 1.54056 / (2 * std::sin(0.25 * std::numbers::pi / 180)), 1e-6);
    EXPECT_NEAR(many.Lines[254].D, 1.54056 / (2 * std::sin(63.75 * std::numbers::pi / 180)), 1e-9);
    EXPECT_NEAR(many.Lines[254].Intensity, 100.0, 1e-9); // the strongest of the 255 kept
    EXPECT_EQ(many.Lines[255].D, 0.0);
}
