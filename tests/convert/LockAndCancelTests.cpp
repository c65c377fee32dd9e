// One writer at a time: a target another run holds is refused before
// anything is written, readers share; and a target without user codes left
// says so before the pattern is written.
#include "common/ByteOrder.h"
#include "convert/Conversion.h"
#include "convert/ConversionSupport.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceCodes.h"
#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norrvik {
namespace {

namespace fs = std::filesystem;

void WriteKandorSource(const fs::path& folder, int entries)
{
    std::vector<test::KandorEntryData> data(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        data[static_cast<std::size_t>(i)].Entry = {"E" + std::to_string(i), "entry", "Si O2"};
        data[static_cast<std::size_t>(i)].Peaks = {test::KandorPeakAt(26.64, 900)};
    }
    test::WriteKandorDatabase(folder, data);
}

// The message of the driver's exception; empty when it succeeded.
std::string ConvertKandor(const fs::path& source, const fs::path& target)
{
    bool success = false;
    try {
        ConvertKandorDatabase(source.string(), target.string(), success);
    } catch (const Exception& error) {
        return error.what();
    }
    return success ? "" : "failed";
}

TEST(DatabaseLock, ASecondWriterIsRefusedAtOnceAndReadersShare)
{
    test::TempFolder temp;
    WriteKandorSource(temp.Path() / "old", 2);
    const fs::path folder = temp.Path() / "t";
    ASSERT_EQ(ConvertKandor(temp.Path() / "old", folder), "");
    const auto before = test::ReadFile(folder / "ReferenceDatabase.PDB");
    {
        const TDatabaseLock held = TDatabaseLock::Exclusive(TTypedFolder(folder.string()));
        const std::string message = ConvertKandor(temp.Path() / "old", folder);
        EXPECT_NE(message.find("Folder " + folder.string() + " is being used by another conversion"),
                  std::string::npos) << message;
        EXPECT_EQ(test::ReadFile(folder / "ReferenceDatabase.PDB"), before);
        EXPECT_THROW(TDatabaseLock::Shared(TTypedFolder(folder.string())), Exception);
    }
    const TDatabaseLock reader = TDatabaseLock::Shared(TTypedFolder(folder.string()));
    EXPECT_TRUE(TDatabaseLock::Shared(TTypedFolder(folder.string())).Held());
    EXPECT_THROW(TDatabaseLock::Exclusive(TTypedFolder(folder.string())), Exception);
    // Nothing to lock in a folder that does not exist: the operation says it is missing.
    EXPECT_FALSE(TDatabaseLock::Exclusive(TTypedFolder(temp.Text("none"))).Held());
}

TEST(ConversionTarget, NoUserCodeLeftIsSaidBeforeThePatternIsWritten)
{
    test::TempFolder temp;
    WriteKandorSource(temp.Path() / "old", 1);
    const fs::path target = temp.Path() / "t";
    ASSERT_EQ(ConvertKandor(temp.Path() / "old", target), "");
    // A database whose user codes are all given.
    auto main = test::ReadFile(target / "ReferenceDatabase.PDB");
    WriteI32LE(main, 10, kMaxUserCodeNumber);
    test::WriteFile(target / "ReferenceDatabase.PDB", main);
    const auto comments = test::ReadFile(target / "Comment.PDB");

    EXPECT_EQ(ConvertKandor(temp.Path() / "old", target),
              NoUserCodeLeftMessage(target.string() + test::kDelimiter, kMaxUserCodeNumber));
    EXPECT_EQ(test::ReadFile(target / "ReferenceDatabase.PDB"), main);
    EXPECT_EQ(test::ReadFile(target / "Comment.PDB"), comments);
}

} // namespace
} // namespace norrvik
