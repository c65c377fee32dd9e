// A database opened for reading is never changed by reading it.
#include "refdb/ReferenceDatabase.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace norrvik;

TEST(ReadOnlyDatabase, MissingSideFilesReadAsEmptyAndAreNotCreated)
{
    test::TempFolder temp;
    const std::string folder = temp.Text("db");
    {
        auto database = TReferenceDatabase::CreateDatabase(folder, "PDF2");
        TReferencePattern pattern;
        pattern.SetReferenceCode("99-000-0001");
        pattern.SetMineralName("Quartz");
        pattern.AddTextLine(TextList::Comments, "Imported from /old");
        pattern.AddTextLine(TextList::References, "JCODE 1 2 3 Smith, A.");
        database->AddPattern(pattern);
        database->Close();
    }
    std::filesystem::remove(temp.Path() / "db" / "Comment.PDB");
    std::filesystem::remove(temp.Path() / "db" / "Literature.PDB");

    TReferenceDatabase database;
    database.SetDatabaseName(folder);
    TReferencePattern& stored = database.GetPattern(1);
    EXPECT_EQ(stored.GetMineralName(), "Quartz");
    EXPECT_TRUE(stored.GetComments().empty());
    EXPECT_TRUE(stored.GetReferences().empty());
    database.Close();
    EXPECT_FALSE(std::filesystem::exists(temp.Path() / "db" / "Comment.PDB"));
    EXPECT_FALSE(std::filesystem::exists(temp.Path() / "db" / "Literature.PDB"));
}
