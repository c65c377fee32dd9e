// One writer at a time, and the end of a run: a target another run holds is
// refused before anything is written (also a folder that did not exist);
// readers share; a cancelled run closes its target; a target without user
// codes left says so before the pattern is written.
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
        data[static_cast<std::size_t>(i)].entry = {"E" + std::to_string(i), "entry", "Si O2"};
        data[static_cast<std::size_t>(i)].peaks = {test::KandorPeakAt(26.64, 900)};
    }
    test::WriteKandorDatabase(folder, data);
}

std::uintmax_t MainFileSize(const fs::path& folder)
{
    std::error_code missing;
    const std::uintmax_t size = fs::file_size(folder / "ReferenceDatabase.PDB", missing);
    return missing ? 0 : size;
}

// The message of the driver's exception; empty when it succeeded.
std::string ConvertKandor(const fs::path& source, const fs::path& target, const ProgressCallback& progress = {})
{
    bool success = false;
    try {
        ConvertKandorDatabase(source.string(), target.string(), success, progress, nullptr);
    } catch (const Exception& error) {
        return error.what();
    }
    return success ? "" : "failed";
}

TEST(DatabaseLock, ASecondWriterIsRefusedAtOnceAndReadersShare)
{
    test::TempFolder temp;
    WriteKandorSource(temp.Path() / "old", 2);
    for (const char* target : {"existing", "new/below"}) {
        const fs::path folder = temp.Path() / target;
        if (std::string(target) == "existing") {
            ASSERT_EQ(ConvertKandor(temp.Path() / "old", folder), "");
        }
        fs::create_directories(folder);
        const auto before = MainFileSize(folder);
        {
            const TDatabaseLock held = TDatabaseLock::Exclusive(folder.string());
            const std::string message = ConvertKandor(temp.Path() / "old", folder);
            EXPECT_NE(message.find(folder.string()), std::string::npos) << message;
            EXPECT_NE(message.find("is being used by another conversion"), std::string::npos) << message;
            EXPECT_EQ(MainFileSize(folder), before);
            EXPECT_THROW(TDatabaseLock::Shared(folder.string()), Exception);
        }
        const TDatabaseLock reader = TDatabaseLock::Shared(folder.string());
        EXPECT_TRUE(reader.Held());
        EXPECT_TRUE(TDatabaseLock::Shared(folder.string()).Held());
        EXPECT_THROW(TDatabaseLock::Exclusive(folder.string()), Exception);
    }
    // Nothing to lock in a folder that does not exist: the operation says it is missing.
    EXPECT_FALSE(TDatabaseLock::Exclusive(temp.Text("none")).Held());
}

TEST(ConversionTarget, CancelledRunClosesItsTargetAndKeepsWhatItAdded)
{
    test::TempFolder temp;
    WriteKandorSource(temp.Path() / "old", 5);
    const fs::path target = temp.Path() / "t";
    const std::string message = ConvertKandor(temp.Path() / "old", target, [](const Progress& progress) {
        if (progress.stage == Progress::Stage::Converting && progress.done == 2)
            throw ConversionCancelled("Conversion cancelled after 2 of 5 entries");
    });
    EXPECT_EQ(message, "Conversion cancelled after 2 of 5 entries");
    // Closed: the next run takes the lock and finds the two patterns indexed.
    TReferenceDatabase database;
    database.SetDatabaseName(target.string());
    EXPECT_EQ(database.PatternCount(), 2);
    EXPECT_EQ(database.FindRecordNumber("99-000-0002"), 2);
    database.Close();
    EXPECT_EQ(ConvertKandor(temp.Path() / "old", target), "");
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

    EXPECT_EQ(ConvertKandor(temp.Path() / "old", target), NoUserCodeLeftMessage(kMaxUserCodeNumber));
    EXPECT_EQ(test::ReadFile(target / "ReferenceDatabase.PDB"), main);
    EXPECT_EQ(test::ReadFile(target / "Comment.PDB"), comments);
}

} // namespace
} // namespace norrvik
