// Fuzz target: an existing target database (the required files and
// Subfiles.PDB, Codes.PDB, Comment.PDB, Literature.PDB split from one
// input), checked, opened for writing, its patterns looked up by number and
// by code with their text lines, one pattern added, and closed. A database
// the checker passed must still pass after the addition.
#include "FuzzFiles.h"

#include "common/Exceptions.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <cstdio>
#include <string>

using namespace norrvik;

namespace {

// More patterns than this are not read one by one: the work per input must
// stay small whatever the header counts.
constexpr std::int32_t kMaxPatternsRead = 64;

void ReadPatterns(TReferenceDatabase& database)
{
    const std::int32_t count = std::min(database.PatternCount(), kMaxPatternsRead);
    for (std::int32_t n = 1; n <= count; ++n) {
        TReferencePattern& pattern = database.GetPattern(n);
        for (const TextList list : kAllTextLists)
            (void)pattern.GetTextList(list);
        (void)pattern.GetColor();
        (void)pattern.GetJournal();
        (void)pattern.GetAuthors();
        for (int i = 0; i < pattern.GetNameCount(); ++i)
            (void)pattern.GetNameAt(i);
        for (int i = 0; i < pattern.GetLineCount(); ++i)
            (void)pattern.GetLine(i);
        const std::string code = pattern.GetReferenceCode();
        if (code.size() == 9 || code.size() == 11) {
            try {
                (void)database.FindRecordNumber(code);
            } catch (const Exception&) {
                // A code missing from a damaged index is an expected answer.
            }
        }
    }
}

void AddOnePattern(TReferenceDatabase& database)
{
    TReferencePattern pattern;
    pattern.SetFormulaLine("Ca C O3");
    pattern.SetMineralName("calcite");
    pattern.AddTextLine(TextList::Comments, "Imported from /fuzz");
    pattern.AddLine(3.035f, 100, 1, 0, 4);
    pattern.AddLine(2.285f, 18, 1, 1, 3);
    database.AddPattern(pattern);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto folder = fuzz::ScratchFolder::WithFiles("target", fuzz::SplitFuzzInput(data, size)).string();
    const bool soundBefore = CheckReferenceDatabase(folder).empty();
    bool added = false;
    fuzz::RunGuarded([&] {
        TReferenceDatabase database;
        database.SetDatabaseName(folder);
        database.SetReadOnly(false);
        database.Open();
        ReadPatterns(database);
        AddOnePattern(database);
        database.Close();
        added = true;
    });
    if (soundBefore && added) {
        const auto problems = CheckReferenceDatabase(folder);
        if (!problems.empty()) {
            std::fprintf(stderr, "norrvik fuzz: a sound database became unsound by adding a pattern:\n");
            for (const std::string& problem : problems)
                std::fprintf(stderr, "  %s\n", problem.c_str());
            std::abort();
        }
    }
    return 0;
}
