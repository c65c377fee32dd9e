// Fuzz target: a Quorvane file set (QUORVANE.IND, .DIS, .NAM, .FRM, .ILS)
// split from one input, opened and read pattern by pattern as the
// conversion reads it, every field of every pattern touched.
#include "FuzzFiles.h"

#include "sources/quorvane/Pdf1.h"

#include <cstdint>

using namespace norrvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz::RunGuarded([&] {
        const auto folder = fuzz::ScratchFolder::WithFiles("quorvane", fuzz::SplitFuzzInput(data, size));
        pdf1::TReferenceDatabase database;
        database.SetDatabaseName(folder.string());
        database.Open();
        pdf1::TReferencePattern pattern;
        for (std::int32_t i = 1; i <= database.PatternCount(); ++i) {
            database.ReadPattern(i, pattern);
            fuzz::Require(pattern.LineCount() >= 0 && pattern.LineCount() <= pdf1::kMaxLines,
                          "Quorvane line count outside 0..300");
            fuzz::Require(pattern.Name().size() <= pdf1::kMaxRecordText &&
                              pattern.Formula().size() <= pdf1::kMaxRecordText,
                          "Quorvane text longer than its record");
            fuzz::Require(!pattern.Present() || pattern.PatternNumber().size() == 7,
                          "Quorvane pattern number not of 7 characters");
        }
    });
}
