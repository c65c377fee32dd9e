// Conversions while the disk fills up: for every write a conversion makes to
// the target database, a run in which the disk fills at exactly that write.
// After each interrupted run the target must open, count only whole records
// that all load, keep the patterns it held before byte for byte, and take the
// same conversion again to end as a sound database.
#include "FaultSources.h"
#include "WriteFaults.h"

#include "common/Exceptions.h"
#include "convert/Conversion.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"
#include "support/RecordFields.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFaults;
using test::WriteFile;

using test::Format;
using test::kRecordSize;
using test::FolderImage;
using test::kFormats;

// Runs the conversion; the error message, or empty when it succeeded.
std::string Convert(const Format& format, const fs::path& source, const fs::path& target)
{
    bool success = false;
    try {
        format.Convert(source.string(), target.string(), success, {}, nullptr);
    } catch (const Exception& error) {
        EXPECT_FALSE(success);
        return std::string("error: ") + error.what();
    }
    EXPECT_TRUE(success);
    return {};
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines)
        out += line + "\n";
    return out;
}

// What must hold after any interrupted run into a database that held
// `before` (empty for a new target).
void ExpectTargetIntact(const fs::path& target, const FolderImage& before)
{
    if (before.empty() && !IsReferenceDatabaseFolder(TTypedFolder(target.string())))
        return; // the run stopped before the new database was complete
    TReferenceDatabase database;
    database.SetDatabaseName(target.string());
    ASSERT_NO_THROW(database.Open());
    const std::int32_t count = database.PatternCount();
    const auto main = ReadFile(target / "ReferenceDatabase.PDB");
    EXPECT_GE(main.size(), (static_cast<std::size_t>(count) + 1) * kRecordSize) << "header counts a partial record";
    for (std::int32_t n = 1; n <= count; ++n)
        EXPECT_NO_THROW(database.LoadPattern(n)) << "record " << n;
    if (before.empty())
        return;
    const auto& old = before.at("ReferenceDatabase.PDB");
    ASSERT_GE(main.size(), old.size());
    EXPECT_TRUE(std::equal(old.begin() + kRecordSize, old.end(), main.begin() + kRecordSize))
        << "a pattern held before the run changed";
    EXPECT_GE(static_cast<std::size_t>(count), old.size() / kRecordSize - 1);
}

class DiskFillsDuringConversion : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override
    {
        source = dir.Path() / "old";
        target = dir.Path() / "new";
        GetParam().WriteSource(source);
    }
    void TearDown() override { WriteFaults::Off(); }

    // Writes the clean run makes to the target, starting from `image`.
    long CountWrites(const FolderImage& image)
    {
        test::RestoreImage(target, image);
        WriteFaults::Watch(target);
        const std::string result = Convert(GetParam(), source, target);
        const long writes = WriteFaults::WritesSeen();
        WriteFaults::Off();
        EXPECT_EQ(result, "");
        EXPECT_GT(writes, 0);
        return writes;
    }

    // One run per write of the clean run, the disk filling at that write.
    void FillAtEveryWrite(const FolderImage& before)
    {
        const long writes = CountWrites(before);
        for (long k = 0; k < writes; ++k) {
            SCOPED_TRACE("disk full at write " + std::to_string(k) + " of " + std::to_string(writes));
            test::RestoreImage(target, before);
            WriteFaults::Watch(target);
            WriteFaults::FailFrom(k);
            const std::string result = Convert(GetParam(), source, target);
            const bool filled = WriteFaults::Filled();
            WriteFaults::Off();
            if (filled) {
                EXPECT_NE(result, "") << "the run reported success although a write failed";
                EXPECT_NE(result.find(target.string()), std::string::npos) << "the error names no target file: " << result;
            }
            ExpectTargetIntact(target, before);
            EXPECT_EQ(Convert(GetParam(), source, target), "") << "converting again failed";
            EXPECT_EQ(Joined(CheckReferenceDatabase(target.string())), "");
            if (HasFailure())
                return; // the first failing write tells enough
        }
    }

    TempFolder dir;
    fs::path source;
    fs::path target;
};

TEST_P(DiskFillsDuringConversion, IntoAnExistingDatabase)
{
    // The target already holds the patterns of another database.
    const fs::path other = dir.Path() / "other";
    test::WriteKandorSource(other);
    fs::create_directories(target);
    ASSERT_EQ(Convert(kFormats[0], other, target), "");
    ASSERT_EQ(Joined(CheckReferenceDatabase(target.string())), "");
    FillAtEveryWrite(test::TakeImage(target));
}

TEST_P(DiskFillsDuringConversion, IntoANewDatabase)
{
    FillAtEveryWrite({});
}

INSTANTIATE_TEST_SUITE_P(Formats, DiskFillsDuringConversion, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace norrvik
