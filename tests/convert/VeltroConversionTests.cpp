// Converting Veltro user databases: what only this format has (a missing
// log or pattern file, a damaged log). The runs Veltro shares with Kandor
// are in UserDatabaseConversionTests.cpp.
#include "convert/Conversion.h"

#include "refdb/ReferenceDatabase.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"
#include "support/VeltroWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norrvik {
namespace {

using test::Element;
using test::VeltroFormula;

std::string MessageOfConversion(const std::string& oldFolder, const std::string& newFolder, bool& success)
{
    try {
        ConvertVeltroDatabase(oldFolder, newFolder, success);
    } catch (const Exception& error) {
        return error.what();
    }
    return "(no exception)";
}

TEST(VeltroConversion, MissingLogOrPatternFileLosesNoTexts)
{
    test::TempFolder empty;
    test::TempFolder target;
    bool success = false;
    ConvertVeltroDatabase(empty.Text(), target.Text(), success);
    EXPECT_TRUE(success);
    EXPECT_EQ(std::filesystem::file_size(target.Path() / "ReferenceDatabase.PDB"), test::kRecordSize);

    // Into an existing database: opened, nothing added.
    ConvertVeltroDatabase(empty.Text(), target.Text(), success);
    EXPECT_TRUE(success);

    test::TempFolder old;
    test::WriteVeltroFile(old.Path(), "UPLOG.PDF",
                          test::VeltroLogBytes({{"GONE", VeltroFormula({Element("Na"), Element("Cl")}), "Halite"}}));
    ConvertVeltroDatabase(old.Text(), target.Text(), success);
    EXPECT_TRUE(success);
    TReferenceDatabase database;
    database.SetDatabaseName(target.Text());
    database.Open();
    ASSERT_EQ(database.PatternCount(), 1);
    TReferencePattern& halite = database.GetPattern(1);
    EXPECT_EQ(halite.GetReferenceCode(), "99-000-0001");
    EXPECT_EQ(halite.GetFormulaLine(), "Na Cl");
    EXPECT_EQ(halite.GetMineralName(), "Halite");
    EXPECT_EQ(halite.GetLineCount(), 0);
    EXPECT_EQ(halite.GetComments().size(), 1u);
}

TEST(VeltroConversion, DamagedLogIsReportedWithItsOwnMessage)
{
    test::TempFolder old;
    test::TempFolder target;
    test::WriteFile(old.Path() / "uplog.pdf", std::vector<std::uint8_t>(100 * 7, 0));
    bool success = true;
    EXPECT_EQ(MessageOfConversion(old.Text(), target.Text(), success), "Incorrect length of file UPLOG.PDF.");
    EXPECT_FALSE(success);
}

} // namespace
} // namespace norrvik
