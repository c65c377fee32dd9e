// Databases left out of step: by a run of ours that stopped (its marker is
// there; the next open recovers it), by something else (refused until
// `rebuild`), and with damaged index files (rebuild needs none of them).
#include "common/Exceptions.h"
#include "convert/Conversion.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "support/KandorWriter.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace norrvik {
namespace {

namespace fs = std::filesystem;

std::string Problems(const fs::path& folder)
{
    std::string problems;
    for (const auto& problem : CheckReferenceDatabase(folder.string()))
        problems += problem + "\n";
    return problems;
}

// tests/data/faults/indexes-behind-records: the records of four patterns,
// the indexes of three.
TEST(StoreRecovery, IndexesBehindTheRecordsAreRecoveredOnlyAfterARunOfOurs)
{
    test::TempFolder dir;
    const fs::path target = dir.Path() / "target";
    fs::copy(fs::path(NORRVIK_TEST_DATA) / "faults" / "indexes-behind-records", target);
    ASSERT_NE(Problems(target), "") << "the sample is expected to be out of step";
    const auto before = test::ReadFile(target / "ReferenceDatabase.PDB");

    std::vector<test::KandorEntryData> entries(2);
    entries[0].Entry = {"GYPSUM", "gypsum", "Ca S O4"};
    entries[0].Peaks = {test::KandorPeakAt(11.6, 400, 4)};
    entries[1].Entry = {"HALITE", "halite", "Na Cl"};
    entries[1].Peaks = {test::KandorPeakAt(31.7, 900, 9)};
    test::WriteKandorDatabase(dir.Path() / "old", entries);
    bool success = false;
    // Not left so by us: refused, naming the file and the repair, nothing changed.
    try {
        ConvertKandorDatabase((dir.Path() / "old").string(), target.string(), success);
        ADD_FAILURE() << "an out-of-step database was written to";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("ReferenceCode.PDB"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("norrvik-cli rebuild"), std::string::npos) << error.what();
    }
    EXPECT_EQ(test::ReadFile(target / "ReferenceDatabase.PDB"), before);

    // Left so by a run of ours: recovered by the next conversion.
    test::WriteFile(target / "Norrvik.run", std::string("garbled"));
    ConvertKandorDatabase((dir.Path() / "old").string(), target.string(), success);
    ASSERT_TRUE(success);
    EXPECT_EQ(Problems(target), "");
    EXPECT_FALSE(fs::exists(target / "Norrvik.run"));
    const auto after = test::ReadFile(target / "ReferenceDatabase.PDB");
    ASSERT_EQ(after.size(), before.size() + 2 * test::kRecordSize);
    // Records 1 to 4 as they were; only the header's counts changed.
    EXPECT_TRUE(std::equal(before.begin() + test::kRecordSize, before.end(), after.begin() + test::kRecordSize));
    TReferenceDatabase database;
    database.SetDatabaseName(target.string());
    EXPECT_EQ(database.PatternCount(), 6);
    EXPECT_EQ(database.UserPatternCount(), 6);
}

// Every index can be derived from the main data file: damaged or missing
// index and list files, or a torn last record, do not keep `rebuild` out,
// and it runs once; the torn record is overwritten by the next pattern.
TEST(StoreRecovery, RebuildNeedsNoReadableIndexFile)
{
    test::TempFolder dir;
    const fs::path target = dir.Path() / "target";
    fs::copy(fs::path(NORRVIK_TEST_DATA) / "faults" / "indexes-behind-records", target);
    test::WriteFile(target / "ReferenceCode.PDB", std::string("      4\r\n1 00002X318\r\nno number\r\n"));
    fs::remove(target / "Name.PDB");
    test::WriteFile(target / "Subfiles.PDB", std::string("X=Changed\r\n"));
    test::WriteFile(target / "Index.PDB.1a2b.new", std::string("left by a stopped replacement"));
    auto main = test::ReadFile(target / "ReferenceDatabase.PDB");
    main.resize(main.size() + 1000, 0xEE);
    test::WriteFile(target / "ReferenceDatabase.PDB", main);
    int rebuilt = 0;
    TReferenceDatabase database;
    database.SetDatabaseName(target.string());
    database.OpenForIndexRebuild();
    database.SetOnIndexPatternMsg([&rebuilt](const std::string&) { ++rebuilt; });
    database.RebuildIndexes();
    EXPECT_FALSE(database.IndexRebuildPending());
    database.Close();
    EXPECT_EQ(rebuilt, 4) << "the indexes were rebuilt more than once";
    test::WriteFile(target / "Subfiles.PDB", std::string("I=Inorganic\r\n"));
    std::vector<test::KandorEntryData> entries(1);
    entries[0].Entry = {"HALITE", "halite", "Na Cl"};
    entries[0].Peaks = {test::KandorPeakAt(31.7, 900, 9)};
    test::WriteKandorDatabase(dir.Path() / "old", entries);
    bool success = false;
    ConvertKandorDatabase((dir.Path() / "old").string(), target.string(), success);
    EXPECT_TRUE(success);
    EXPECT_EQ(Problems(target), "");
    EXPECT_FALSE(fs::exists(target / "Norrvik.run"));
    EXPECT_FALSE(fs::exists(target / "Index.PDB.1a2b.new"));
}

// A header whose pattern count is negative (found by fuzzing:
// tests/data/fuzz/fuzz_target_database/negative-pattern-count) is refused
// when the database is opened, with an error naming the file, instead of an
// assertion when the next pattern is written.
TEST(StoreRecovery, NegativeCountsInTheHeaderAreRefusedAtOpen)
{
    test::TempFolder dir;
    TReferenceDatabase::CreateDatabase(dir.Text(), "PDF2")->Close();
    const fs::path main = dir.Path() / "ReferenceDatabase.PDB";
    for (const std::size_t offset : {std::size_t{6}, std::size_t{10}}) { // PatternCount, UserPatternCount
        auto bytes = test::ReadFile(main);
        bytes[offset] = 0xFD; // -3
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(offset) + 1,
                  bytes.begin() + static_cast<std::ptrdiff_t>(offset) + 4, 0xFF);
        test::WriteFile(main, bytes);
        TReferenceDatabase database;
        database.SetDatabaseName(dir.Text());
        database.SetReadOnly(false);
        try {
            database.Open();
            ADD_FAILURE() << "a negative count was accepted";
        } catch (const EInOutError& error) {
            EXPECT_NE(std::string(error.what()).find(main.string()), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find("-3"), std::string::npos) << error.what();
        }
    }
}

} // namespace
} // namespace norrvik
