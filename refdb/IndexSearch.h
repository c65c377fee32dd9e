// Searching a target database through its own index files, as the search
// software does: prefix searches in the sorted text indexes (names, formulas,
// codes, authors, journals) by the indexes' own comparison and binary
// search (over the file's bytes, or over an index held in memory), and the
// strongest-lines search on StrongestLines.PDB. Only the
// records of the patterns a caller shows are read. The database is opened
// for reading under the shared folder lock, so searching changes nothing and
// a conversion cannot change the files while they are read.
#pragma once

#include "refdb/DatabaseLock.h"
#include "refdb/IndexSearchInPlace.h"
#include "refdb/Indexes.h"
#include "refdb/ReferenceDatabase.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norrvik {

// What a text search looks in.
enum class SearchField { Name, Formula, Code, Author, Journal };

// One pattern a search found.
struct TSearchHit {
    std::int32_t RecordNumber = 0;
    // The index text that matched (8-bit, as stored); empty for the lines search.
    std::string Matched;
    // How well it matches, 0..100 (see SearchText and StrongestLinesMatch).
    double Figure = 0;
};

// The strongest-lines search: d-spacings in Angstrom, and how far (in
// Angstrom) a line of a pattern may lie from one of them.
struct TLinesQuery {
    static constexpr double kDefaultTolerance = 0.02;
    std::vector<double> DSpacings;
    double Tolerance = kDefaultTolerance;
};

// What a list of patterns shows of one (8-bit texts, as stored).
struct TPatternSummary {
    std::int32_t RecordNumber = 0;
    std::string Code; // display form, 00-002-0318
    std::vector<std::string> Names;
    std::string Formula; // the formula line, else the first formula
};

// A text index file read whole into memory; the entries are views into its
// bytes. A file whose entries are not in the index order (left so by another
// program) is put in order here, so that the binary search stays right; the
// file itself is not touched.
class TSortedTextIndex {
public:
    TSortedTextIndex() = default;
    // A missing file is an empty index; a damaged one raises the index-file
    // messages naming the file.
    static TSortedTextIndex Read(const std::filesystem::path& path);

    std::size_t Size() const { return entries_.size(); }
    const TIndexEntryView& Entry(std::size_t position) const { return entries_[position]; }
    // Positions first..last-1 of the entries that begin with `prefix`
    // (8-bit), upper-cased first as the look-up of a code does.
    std::pair<std::size_t, std::size_t> PrefixRange(std::string_view prefix) const;

private:
    std::unique_ptr<std::string> content_; // on the heap: the views survive a move
    std::vector<TIndexEntryView> entries_;
};

// The match figure of one pattern's strongest lines, or nothing when one of
// the given d-spacings has no line within the tolerance. Each given d takes
// the nearest line not yet taken by an earlier one (in the order given);
// each match scores (closeness + strength) / 2, with closeness
// 1 - |d - d_line| / tolerance and strength the line's intensity relative to
// the pattern's strongest (1 for it); the figure is 100 times the mean
// score. A perfect match of the strongest lines gives 100.
std::optional<double> StrongestLinesMatch(const TStrongestLinesEntry& lines, const TLinesQuery& query);

class TIndexSearch {
public:
    // Takes the shared lock of `folder` and opens the database there for
    // reading. Raises the store's messages for a folder that is missing, is
    // not a database, or is being changed.
    // A text search reads the index files in place in blocks of `blockSize`
    // bytes (IndexSearchInPlace.h).
    explicit TIndexSearch(const std::string& folder, std::size_t blockSize = kIndexBlockSize);

    std::int32_t PatternCount();

    // Patterns with an index text that begins with `prefix` (8-bit, as
    // stored; upper-cased first, as the look-up does): names in Name.PDB
    // and MineralName.PDB, codes in ReferenceCode.PDB (dashes in the prefix
    // are left out, so "99-000" finds 99-000-0001). One hit per pattern, its
    // best text; figure 100 x prefix length / text length (100: the whole
    // text). In index order of the matched text, then by record number.
    // An index this searcher holds (Index) is searched in memory, any other
    // in its file, where it lies, unless that file is not as the store
    // writes it: then it is read whole and held.
    std::vector<TSearchHit> SearchText(SearchField field, std::string_view prefix);
    // Patterns whose strongest lines match (StrongestLinesMatch), best first,
    // equal figures by record number. Every given d-spacing must be > 0 and
    // the tolerance > 0, else norrvik::Exception.
    std::vector<TSearchHit> SearchLines(const TLinesQuery& query);

    // The record number of a reference code (9 digits or 00-002-0318), or
    // nothing when the database does not hold it.
    std::optional<std::int32_t> FindCode(const std::string& code);
    // The pattern of a code in one of those forms; raises the store's
    // "No pattern found with ..." when the database does not hold it.
    TReferencePattern& FindPattern(const std::string& code);
    // Reads record n (1..PatternCount) alone.
    TPatternSummary Summary(std::int32_t recordNumber);
    TReferencePattern& Pattern(std::int32_t recordNumber);

    // A text index, read on first use and kept.
    const TSortedTextIndex& Index(TextIndex index);
    // Every record 1..PatternCount in the order of its first entry in
    // `index`, the records without an entry last, by record number; and
    // each record's place in that order.
    struct TRecordOrder {
        std::vector<std::int32_t> Records;
        std::vector<std::uint32_t> Places; // [n] for record n; [0] unused
    };
    const TRecordOrder& RecordOrder(TextIndex index);

private:
    const std::string& StrongestLines();
    std::filesystem::path IndexPath(TextIndex index) const;

    TDatabaseLock lock_;
    std::size_t blockSize_ = kIndexBlockSize;
    TReferenceDatabase database_;
    std::array<std::optional<TSortedTextIndex>, kTextIndexCount> indexes_;
    std::array<std::optional<TRecordOrder>, kTextIndexCount> orders_;
    std::optional<std::string> strongestLines_;
};

} // namespace norrvik
