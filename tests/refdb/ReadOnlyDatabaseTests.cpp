// Reading a database: opened for reading it is never changed; a damaged
// record of the older format is reported with its file and record.
#include "common/Exceptions.h"
#include "refdb/ReferenceDatabase.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

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

TEST(OlderRecordFormat, ABadOldCodeNamesTheFileAndTheRecord)
{
    test::TempFolder temp;
    const std::string folder = temp.Text("db");
    TReferenceDatabase::CreateDatabase(folder, "PDF2")->Close();
    // Header of version 1.0 counting one pattern, then record 1 at 1 x 3307
    // whose old code is not a number.
    std::vector<std::uint8_t> bytes(2 * 3307 + 3, 0);
    const std::string version = "\x03" "1.0";
    std::copy(version.begin(), version.end(), bytes.begin());
    bytes[6] = 1;
    const std::string oldCode = "AB0318";
    std::copy(oldCode.begin(), oldCode.end(), bytes.begin() + 3307);
    test::WriteFile(temp.Path() / "db" / "ReferenceDatabase.PDB", bytes);

    TReferenceDatabase database;
    database.SetDatabaseName(folder);
    try {
        database.GetPattern(1);
        FAIL() << "a bad old code was read";
    } catch (const EConvertError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("ReferenceDatabase.PDB"), std::string::npos) << message;
        EXPECT_NE(message.find("record 1"), std::string::npos) << message;
        EXPECT_NE(message.find("AB0318"), std::string::npos) << message;
    }
}
