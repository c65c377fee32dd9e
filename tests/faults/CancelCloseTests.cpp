// A run cancelled (or failed) while the disk is full: closing the target
// writes too (buffered lines, the index rebuild), and a close that fails is
// reported with the run's own message instead of being swallowed.
#include "WriteFaults.h"

#include "common/Exceptions.h"
#include "convert/Conversion.h"
#include "support/KandorWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace norrvik {
namespace {

TEST(CancelAndClose, AFailingCloseAfterCancelIsReported)
{
    test::TempFolder dir;
    std::vector<test::KandorEntryData> entries(3);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].Entry = {"E" + std::to_string(i), "entry", "Na Cl"};
        entries[i].Peaks = {test::KandorPeakAt(31.7, 900, 9)};
    }
    test::WriteKandorDatabase(dir.Path() / "old", entries);
    const auto target = dir.Path() / "new";
    test::WriteFaults::Watch(dir.Path());
    // Cancel after the first entry, the disk filling from then on.
    const auto cancelling = [](const TProgress& progress) {
        if (progress.CurrentStage == TProgress::Stage::Converting && progress.Done == 1) {
            test::WriteFaults::FailFrom(0);
            throw EConversionCancelled("Conversion cancelled after 1 of 3 entries");
        }
    };
    bool success = false;
    std::string message;
    try {
        ConvertKandorDatabase((dir.Path() / "old").string(), target.string(), success, cancelling);
    } catch (const EConversionCancelled&) {
        ADD_FAILURE() << "reported as a clean cancel although the close failed";
    } catch (const Exception& error) {
        message = error.what();
    }
    const bool filled = test::WriteFaults::Filled();
    test::WriteFaults::Off();
    EXPECT_TRUE(filled);
    EXPECT_FALSE(success);
    EXPECT_EQ(message.rfind("Conversion cancelled after 1 of 3 entries. Closing the database afterwards failed as well: ", 0), 0u)
        << message;
    EXPECT_NE(message.find(target.string()), std::string::npos) << message;
}

} // namespace
} // namespace norrvik
