// The text index files as the literal file steps leave them, for comparison
// with the store, which holds the indexes in memory and writes them once:
// every addition appends its entries to each file (patching the count) and
// then reads, upper-cases, quicksorts and rewrites every file; a rebuild
// writes every index from the main data file and sorts it. The files live in
// a folder of their own; the other files of a database are the store's.
#pragma once

#include "common/Exceptions.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace norrvik::test {

class TLiteralTextIndexes {
public:
    explicit TLiteralTextIndexes(std::filesystem::path folder) : folder_(std::move(folder))
    {
        std::filesystem::create_directories(folder_);
        for (TextIndex index : kRebuildTextIndexOrder)
            WriteWholeFile(File(index), FormatTextIndex({}));
    }

    // The steps of adding the pattern `database` has just added.
    void Added(TReferenceDatabase& database)
    {
        TReferencePattern& pattern = database.CurrentPattern();
        for (TextIndex index : kAddPatternTextIndexOrder)
            for (const std::string& value : AddedIndexTexts(index, pattern))
                AppendIndexEntryToFile(File(index), pattern.GetRecordNumber(), value);
        Sorted();
    }

    void Sorted()
    {
        for (TextIndex index : kSortTextIndexOrder)
            SortTextIndexFile(File(index));
    }

    // The rebuild of the closed database in `databaseFolder`.
    void Rebuilt(const std::string& databaseFolder)
    {
        TReferenceDatabase database;
        database.SetDatabaseName(databaseFolder);
        database.Open();
        for (TextIndex index : kRebuildTextIndexOrder) {
            TIndexes entries;
            for (std::int32_t n = 1; n <= database.PatternCount(); ++n)
                for (const std::string& text : RebuildIndexTexts(index, database.GetPattern(n)))
                    entries.push_back({text, n});
            WriteWholeFile(File(index), FormatTextIndex(entries));
        }
        Sorted();
        codeIndex_.reset();
    }

    // What a look-up of the store gives: its code index is read when the
    // database opens and, while that gives no entry, at each look-up.
    void Opened() { ReadCodeIndex(); }
    std::string LookUp(const std::string& code)
    {
        ReadCodeIndex();
        try {
            std::int32_t position = 0;
            return std::to_string(FindInIndex(codeIndex_.value_or(TIndexes()),
                                              position, StoredCodeFromDisplayCode(code)));
        } catch (const Exception& error) {
            return error.what();
        }
    }
    void Closed() { codeIndex_.reset(); }

    void ExpectSameFiles(const std::filesystem::path& databaseFolder, const std::string& when) const
    {
        for (TextIndex index : kRebuildTextIndexOrder) {
            const auto name = std::string(TextIndexFileName(index));
            EXPECT_EQ(ReadWholeFile(databaseFolder / name), ReadWholeFile(File(index))) << name << " " << when;
        }
    }

private:
    std::filesystem::path File(TextIndex index) const { return folder_ / std::string(TextIndexFileName(index)); }

    void ReadCodeIndex()
    {
        if (codeIndex_ && !codeIndex_->empty())
            return;
        codeIndex_ = ParseTextIndex(ReadWholeFile(File(TextIndex::ReferenceCode)).value_or(""), "");
    }

    std::filesystem::path folder_;
    std::optional<TIndexes> codeIndex_;
};

} // namespace norrvik::test
