// Converting Kandor user databases: what only this format has (a missing
// index file, a damaged pattern file). The runs Kandor shares with Veltro
// are in UserDatabaseConversionTests.cpp.
#include "convert/Conversion.h"

#include "common/ByteOrder.h"
#include "refdb/ReferenceDatabase.h"
#include "support/KandorWriter.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norrvik {
namespace {

using test::KandorEntryData;
using test::KandorPeakAt;

std::string MessageOfConversion(const std::string& oldFolder, const std::string& newFolder, bool& success)
{
    try {
        ConvertKandorDatabase(oldFolder, newFolder, success);
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

TEST(KandorConversion, MissingIndexLeavesAnEmptyClosedDatabase)
{
    test::TempFolder empty;
    test::TempFolder target;
    bool success = true;
    try {
        ConvertKandorDatabase(empty.Text(), target.Text(), success);
        ADD_FAILURE() << "no exception";
    } catch (const EInOutError& error) {
        EXPECT_NE(std::string(error.what()).find("PDDATABS.DAT"), std::string::npos);
    }
    EXPECT_FALSE(success);
    const auto data = test::ReadMainDataFile(target.Path());
    ASSERT_EQ(data.size(), test::kRecordSize);
    EXPECT_EQ(ReadI32LE(data, test::kHeaderPatternCount), 0);
    EXPECT_EQ(test::ReadFileText(target.Path() / "Name.PDB"), "      0\r\n");
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    EXPECT_EQ(database.PatternCount(), 0);
}

TEST(KandorConversion, DamagedPatternFileEndsTheRunNamingIt)
{
    test::TempFolder old;
    test::TempFolder damaged;
    std::vector<KandorEntryData> entries(1);
    entries[0].Entry = {"FIRST", "First", "A"};
    entries[0].Peaks = {KandorPeakAt(20, 100)};
    test::WriteKandorDatabase(old.Path(), entries);
    test::WriteFile(old.Path() / "FIRST.di", std::vector<std::uint8_t>(100, 0));
    bool success = true;
    const std::string message = MessageOfConversion(old.Text(), damaged.Text(), success);
    EXPECT_EQ(message, "Corrupted - File size too small (" + (old.Path() / "FIRST.di").string() + ")");
    EXPECT_FALSE(success);
}

} // namespace
} // namespace norrvik
