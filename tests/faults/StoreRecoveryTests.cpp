// A database left by a run that stopped between a pattern and its index
// entries (tests/data/faults/indexes-behind-records: the records of four
// patterns, the indexes of three) is brought back in step by the next
// conversion into it, and nothing it held is lost.
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

TEST(StoreRecovery, IndexesBehindTheRecordsAreRebuiltByTheNextConversion)
{
    test::TempFolder dir;
    const fs::path target = dir.Path() / "target";
    fs::copy(fs::path(NORRVIK_TEST_DATA) / "faults" / "indexes-behind-records", target);
    ASSERT_FALSE(CheckReferenceDatabase(target.string()).empty()) << "the sample is expected to be out of step";
    const auto before = test::ReadFile(target / "ReferenceDatabase.PDB");

    std::vector<test::KandorEntryData> entries(2);
    entries[0].entry = {"GYPSUM", "gypsum", "Ca S O4"};
    entries[0].peaks = {test::KandorPeakAt(11.6, 400, 4)};
    entries[1].entry = {"HALITE", "halite", "Na Cl"};
    entries[1].peaks = {test::KandorPeakAt(31.7, 900, 9)};
    test::WriteKandorDatabase(dir.Path() / "old", entries);
    bool success = false;
    ConvertKandorDatabase((dir.Path() / "old").string(), target.string(), success);
    ASSERT_TRUE(success);

    std::string problems;
    for (const auto& problem : CheckReferenceDatabase(target.string()))
        problems += problem + "\n";
    EXPECT_EQ(problems, "");
    const auto after = test::ReadFile(target / "ReferenceDatabase.PDB");
    ASSERT_EQ(after.size(), before.size() + 2 * test::kRecordSize);
    // Records 1 to 4 as they were; only the header's counts changed.
    EXPECT_TRUE(std::equal(before.begin() + test::kRecordSize, before.end(), after.begin() + test::kRecordSize));
    TReferenceDatabase database;
    database.SetDatabaseName(target.string());
    EXPECT_EQ(database.PatternCount(), 6);
    EXPECT_EQ(database.UserPatternCount(), 6);
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
