// The database checker: every file of a target database folder read (never
// written) and compared with the main data file, problems listed one per line.
#include "DatabaseCheck.h"

#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/LargeBuffers.h"
#include "common/Parallel.h"
#include "common/ReadAhead.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/CheckedTextIndex.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/DatabaseHeader.h"
#include "refdb/Indexes.h"
#include "refdb/SupportLists.h"
#include "refdb/PatternDatabaseLink.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iterator>
#include <map>
#include <numeric>
#include <optional>
#include <system_error>
#include <utility>

namespace norrvik {

namespace {

namespace fs = std::filesystem;

// Problems grouped by file, in the order the files are first named, with at
// most a given number per file.
class TProblemList {
public:
    explicit TProblemList(std::size_t maxPerFile) : maxPerFile_(maxPerFile) {}

    void Add(std::string_view file, const std::string& text)
    {
        auto it = std::find_if(files_.begin(), files_.end(), [&](const TPerFile& f) { return f.Name == file; });
        if (it == files_.end())
            it = files_.insert(files_.end(), TPerFile{std::string(file), {}, 0});
        if (it->Lines.size() < maxPerFile_)
            it->Lines.push_back(it->Name + ": " + text);
        else
            ++it->Dropped;
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (const TPerFile& file : files_) {
            lines.insert(lines.end(), file.Lines.begin(), file.Lines.end());
            if (file.Dropped > 0)
                lines.push_back(Format("%s: ... and %zu more problems", file.Name.c_str(), file.Dropped));
        }
        return lines;
    }

private:
    struct TPerFile {
        std::string Name;
        std::vector<std::string> Lines;
        std::size_t Dropped;
    };
    std::size_t maxPerFile_;
    std::vector<TPerFile> files_;
};

// Reads `bytes.size()` bytes at `offset`; false when the file ends before
// (or the system fails to read it: the record is then reported unreadable).
// Reads going forward through the file are served from `ahead` when given.
bool ReadAt(const TFileHandle& file, std::uint64_t offset, MutableBytes bytes, TReadAhead* ahead = nullptr,
            std::uint64_t fileSize = 0)
{
    try {
        if (ahead && ahead->Read(file, offset, bytes, fileSize))
            return true;
        return file.ReadSomeAt(offset, bytes) == bytes.size();
    } catch (const EInOutError&) {
        return false;
    }
}

std::uint64_t SizeOrZero(const std::optional<TFileHandle>& file)
{
    try {
        return file ? file->Size() : 0;
    } catch (const EInOutError&) {
        return 0;
    }
}

// The whole text of a file; nothing when it is missing or cannot be read
// (then `unreadable` holds the reason).
std::optional<std::string> ReadText(const fs::path& path, std::string& unreadable)
{
    try {
        return ReadWholeFile(path);
    } catch (const Exception& error) {
        unreadable = error.what();
        return std::nullopt;
    }
}

// Blocks the checker reads its files in as it goes through the records.
constexpr std::size_t kSideFileBlock = 64 * 1024;
constexpr std::size_t kRecordBlock = 1024 * 1024;

// The two side files and the journal code list, read-only, for the text
// lists of the records being checked: one reader per thread of the check,
// the files and the list held by the checker.
class TSideFiles final : public TPatternDatabaseLink {
public:
    // A side file that is missing or cannot be opened has no lines.
    TSideFiles(const std::optional<TFileHandle>& comment, const std::optional<TFileHandle>& literature,
              const std::vector<std::string>& codeLines)
        : comment_(comment), literature_(literature), commentLines_(SizeOrZero(comment_) / kTextLineSize),
          literatureLines_(SizeOrZero(literature_) / kTextLineSize), codeLines_(codeLines)
    {
    }

    std::uint64_t LineCount(TextSideFile file) const
    {
        return file == TextSideFile::Comment ? commentLines_ : literatureLines_;
    }

    void ReadTextLines(TextSideFile file, std::int32_t first, std::vector<std::string>& lines,
                       std::int32_t count) override
    {
        if (count <= 0 || first < 0) {
            lines.clear();
            return;
        }
        const bool comment = file == TextSideFile::Comment;
        const std::optional<TFileHandle>& handle = comment ? comment_ : literature_;
        TReadAhead& ahead = comment ? commentAhead_ : literatureAhead_;
        const std::uint64_t available = LineCount(file);
        std::array<std::uint8_t, kTextLineSize> record{};
        for (std::uint64_t n = static_cast<std::uint64_t>(first);
             n < available && n < static_cast<std::uint64_t>(first) + static_cast<std::uint64_t>(count); ++n) {
            if (!ReadAt(*handle, n * kTextLineSize, record, &ahead, available * kTextLineSize))
                break;
            lines.push_back(TrimRight(std::string_view(reinterpret_cast<const char*>(record.data()), record.size())));
        }
    }

    std::string JournalName(const std::string& code) override
    {
        return JournalNameInCodeList(codeLines_, code);
    }

private:
    const std::optional<TFileHandle>& comment_;
    const std::optional<TFileHandle>& literature_;
    std::uint64_t commentLines_;
    std::uint64_t literatureLines_;
    TReadAhead commentAhead_{kSideFileBlock};
    TReadAhead literatureAhead_{kSideFileBlock};
    const std::vector<std::string>& codeLines_;
};

bool HasLowerCaseLetter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// The lines of the content, as SplitTextLines counts them.
std::size_t TextLineCount(std::string_view content)
{
    std::size_t lines = 0;
    std::size_t position = 0;
    std::string_view line;
    while (NextTextLine(content, position, line))
        ++lines;
    return lines;
}

std::string Quoted(const std::vector<std::string>& texts)
{
    std::string out;
    for (const std::string& text : texts)
        out += (out.empty() ? "\"" : ", \"") + text + "\"";
    return out.empty() ? "none" : out;
}

class TDatabaseChecker {
public:
    TDatabaseChecker(const std::string& folderText, const TDatabaseCheckOptions& options)
        : folder_(PathFromText(folderText)), files_(folderText), problems_(options.MaxProblemsPerFile)
    {
    }

    fs::path File(std::string_view name) const { return files_.Path(name); }

    std::vector<std::string> Run()
    {
        std::error_code error;
        if (!fs::is_directory(folder_, error)) {
            problems_.Add(PathText(folder_), PathTooLong(folder_) ? "the path is too long for the system"
                                                                  : "the folder doesn't exist");
            return problems_.Lines();
        }
        if (KindOfFile(File(kRunMarkerFileName)) != FileKind::Missing) {
            // Its indexes (and the tail of its files) are as the stopped run
            // left them; listing those would only hide what to do.
            problems_.Add(kRunMarkerFileName,
                          "a conversion into this database was interrupted and its recovery is not complete; the "
                          "next conversion into it, \"norrvik-cli rebuild\" or \"norrvik-cli recover\" completes it");
            return problems_.Lines();
        }
        for (const std::string_view name : kReferenceDatabaseFileNames)
            if (KindOfFile(File(name)) == FileKind::Missing)
                problems_.Add(name, "missing (a reference database needs it)");
        if (!ReadHeader())
            return problems_.Lines();
        CheckSubfiles();
        ReadTextIndexes();
        OpenBinaryIndexes();
        CheckRecords();
        return problems_.Lines();
    }

private:
    struct TBinaryIndex {
        std::string_view Name;
        std::size_t RecordSize = 0;
        bool Required = true;
        std::optional<TFileHandle> File;
        std::int64_t Records = 0;
        std::uint64_t Size = 0;
    };

    // What one thread of the record check reads with and finds: its own
    // blocks of the files, its cursors in the text indexes, and the
    // problems, text ranges and user marks of its records in record order,
    // handed to the checker's lists in the order of the records.
    struct TRecordWorker {
        explicit TRecordWorker(const TDatabaseChecker& checker)
            : side(checker.comment_, checker.literature_, checker.codeLines_)
        {
        }

        void Problem(std::string_view file, std::string text) { Problems.emplace_back(file, std::move(text)); }

        TSideFiles side;
        TReadAhead Main{kRecordBlock};
        std::array<TReadAhead, 3> Binary{TReadAhead(kSideFileBlock), TReadAhead(kSideFileBlock),
                                         TReadAhead(kSideFileBlock)};
        std::array<std::size_t, kTextIndexCount> Next{};
        std::vector<std::pair<std::string, std::string>> Problems;
        std::vector<TTextRangeUse> RangeUses;
        std::int64_t UserPatterns = 0;
    };

    void Problem(std::string_view file, const std::string& text) { problems_.Add(file, text); }

    // The file of the folder opened for reading, nothing when it is missing;
    // a link, a folder, a pipe or a device in its place is refused (never
    // followed, never waited on) and reported.
    std::optional<TFileHandle> OpenReporting(std::string_view name)
    {
        try {
            return TFileHandle::OpenIfExists(File(name), FileOpening::Read);
        } catch (const EInOutError& error) {
            Problem(name, error.what());
            return std::nullopt;
        }
    }

    // The text of a file of the folder; a file that exists but cannot be
    // read is a problem of its own.
    std::optional<std::string> ReadTextReporting(std::string_view name)
    {
        std::string unreadable;
        auto content = ReadText(File(name), unreadable);
        if (!unreadable.empty())
            Problem(name, unreadable);
        return content;
    }

    bool ReadHeader()
    {
        const fs::path path = File(kMainDataFileName);
        main_ = OpenReporting(kMainDataFileName);
        if (!main_)
            return false; // reported as missing above, or as refused
        const std::uint64_t size = SizeOrZero(main_);
        mainSize_ = size;
        DatabaseHeader header;
        if (size < header.Record().size() || !ReadAt(*main_, 0, header.Record())) {
            Problem(kMainDataFileName, Format("%llu bytes, shorter than its header of %zu bytes",
                                         static_cast<unsigned long long>(size), header.Record().size()));
            return false;
        }
        try {
            recordSize_ = header.IsOlderRecordFormat(PathText(path)) ? kOldPatternRecordSize : kPatternRecordSize;
        } catch (const Exception& error) {
            Problem(kMainDataFileName, error.what());
            return false;
        }
        patternCount_ = header.PatternCount();
        userPatternCount_ = header.UserPatternCount();
        if (patternCount_ < 0) {
            Problem(kMainDataFileName, Format("the header counts %d patterns", patternCount_));
            return false;
        }
        if (userPatternCount_ < 0 || userPatternCount_ > patternCount_)
            Problem(kMainDataFileName, Format("the header counts %d user patterns among %d patterns",
                                         userPatternCount_, patternCount_));
        const std::int64_t held = static_cast<std::int64_t>(size / recordSize_) - 1;
        loadable_ = std::min<std::int64_t>(patternCount_, held);
        if (held < patternCount_)
            Problem(kMainDataFileName, Format("the header counts %d patterns, the file holds only %lld whole records",
                                         patternCount_, static_cast<long long>(held)));
        return true;
    }

    void CheckSubfiles()
    {
        const auto content = ReadTextReporting(kSubfilesFileName);
        if (!content)
            return; // not required: the default rows apply
        const std::vector<std::string> lines = SplitTextLines(*content);
        if (const auto wrong = FirstWrongSubfileLine(lines))
            Problem(kSubfilesFileName, Format("line %zu has the code \"%s\" where \"%s\" belongs", *wrong + 1,
                                             SubfileCode(lines[*wrong]).c_str(),
                                             SubfileCode(kSubfileTable[*wrong]).c_str()));
    }

    using TFound = std::vector<std::pair<std::string, std::string>>; // file, problem

    // The seven text indexes, two read at a time side by side: the largest
    // file first, the others smallest first, so that one thread reads the
    // largest while the other reads the rest, and two large ones are seldom
    // held at once. Their problems are reported in the order of the
    // indexes, as reading them one after another reports them.
    void ReadTextIndexes()
    {
        struct TRead {
            TextIndex Index;
            fs::path Path; // found here: finding a name's letter case is not for two threads
            std::uintmax_t Size;
            TFound Found;
        };
        std::vector<TRead> reads;
        for (const TextIndex index : kRebuildTextIndexOrder) {
            fs::path path = File(TextIndexFileName(index));
            std::error_code error;
            const std::uintmax_t size = fs::file_size(path, error);
            reads.push_back({index, std::move(path), error ? 0 : size, {}});
        }
        std::vector<std::size_t> order(reads.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return reads[a].Size < reads[b].Size; });
        std::rotate(order.begin(), order.end() - 1, order.end());
        const std::vector<std::exception_ptr> failures = RunTasksSideBySide(order.size(), [&](std::size_t k) {
            TRead& read = reads[order[k]];
            textIndexes_[static_cast<std::size_t>(read.Index)] = ReadTextIndex(read.Index, read.Path, read.Found);
        });
        for (std::size_t i = 0; i < reads.size(); ++i) {
            for (const auto& [file, text] : reads[i].Found)
                Problem(file, text);
            const auto task = static_cast<std::size_t>(std::find(order.begin(), order.end(), i) - order.begin());
            if (failures[task])
                std::rethrow_exception(failures[task]);
        }
    }

    // The file and its parsed lines are let go before the entries are
    // ordered, which takes room of its own. On a thread of its own: touches
    // only what is read-only and `found`.
    TTextIndexContent ReadTextIndex(TextIndex index, const fs::path& path, TFound& found) const
    {
        TTextIndexContent result = ReadTextIndexEntries(index, path, found);
        result.Seal();
        return result;
    }

    TTextIndexContent ReadTextIndexEntries(TextIndex index, const fs::path& path, TFound& found) const
    {
        const std::string name(TextIndexFileName(index));
        const auto problem = [&](std::string text) { found.emplace_back(name, std::move(text)); };
        TTextIndexContent result;
        std::string unreadable;
        const auto content = ReadText(path, unreadable);
        if (!unreadable.empty())
            problem(unreadable);
        if (!content)
            return result; // reported as missing or unreadable
        std::vector<TIndexEntryView> entries;
        try {
            entries = ParseTextIndexViews(*content, PathText(path));
        } catch (const Exception& error) {
            problem(error.what());
            return result;
        }
        const std::size_t entryLines = TextLineCount(*content) - 1;
        if (entryLines != entries.size())
            problem(Format("the count line says %zu entries, the file holds %zu entry lines", entries.size(),
                           entryLines));
        result.readable = true;
        result.Reserve(entries.size(), content->size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TIndexEntryView& entry = entries[i];
            if (entry.RecordNumber < 1 || entry.RecordNumber > patternCount_)
                problem(Format("entry %zu points at record %d, the database holds %d patterns", i + 1,
                               entry.RecordNumber, patternCount_));
            if (HasLowerCaseLetter(entry.Text) || (i > 0 && IndexTextLess(entry.Text, entries[i - 1].Text)))
                problem(Format("not sorted: entry %zu (\"%s\") is out of order", i + 1, std::string(entry.Text).c_str()));
            result.Add(entry.RecordNumber, entry.Text);
        }
        return result;
    }

    void OpenBinaryIndexes()
    {
        binary_[0].Name = kIndexFileName;
        binary_[0].RecordSize = kIndexRecordSize;
        binary_[1].Name = kCrystalIndexFileName;
        binary_[1].RecordSize = kCrystalIndexRecordSize;
        binary_[1].Required = false; // a database made without it never gets one
        binary_[2].Name = kStrongestLinesFileName;
        binary_[2].RecordSize = kStrongestLinesRecordSize;
        for (TBinaryIndex& index : binary_) {
            const bool missing = KindOfFile(File(index.Name)) == FileKind::Missing;
            index.File = OpenReporting(index.Name);
            if (!index.File) {
                // StrongestLines.PDB is required and reported as missing above.
                if (missing && index.Required && index.Name == kIndexFileName && patternCount_ > 0)
                    Problem(index.Name, "missing although the database holds patterns");
                continue;
            }
            const std::uint64_t size = SizeOrZero(index.File);
            index.Size = size;
            index.Records = static_cast<std::int64_t>(size / index.RecordSize);
            if (size % index.RecordSize != 0)
                Problem(index.Name, Format("%llu bytes, not a whole number of %zu-byte records",
                                           static_cast<unsigned long long>(size), index.RecordSize));
            if (index.Records != patternCount_)
                Problem(index.Name, Format("holds %lld records, the database holds %d patterns",
                                           static_cast<long long>(index.Records), patternCount_));
        }
    }

    // Record n read into `record` (in place: it is large); false, and the
    // reason reported, when it cannot be.
    bool LoadRecord(TRecordWorker& worker, std::int64_t n, PatternRecord& record) const
    {
        const std::uint64_t offset = static_cast<std::uint64_t>(n) * recordSize_;
        const auto unreadable = [&](const std::string& reason) {
            worker.Problem(kMainDataFileName,
                    Format("record %lld cannot be read: %s", static_cast<long long>(n), reason.c_str()));
            return false;
        };
        if (recordSize_ == kPatternRecordSize)
            return ReadAt(*main_, offset, record, &worker.Main, mainSize_) || unreadable("the file ends inside it");
        OldPatternRecord old{};
        if (!ReadAt(*main_, offset, old, &worker.Main, mainSize_))
            return unreadable("the file ends inside it");
        try {
            record = ConvertOldPatternRecord(old);
            return true;
        } catch (const Exception& error) {
            return unreadable(error.what());
        }
    }

    static void CheckRecordFields(TRecordWorker& worker, std::int64_t n, const TReferencePattern& pattern)
    {
        for (const std::string& problem : RecordFieldProblems(pattern.Record(), n))
            worker.Problem(kMainDataFileName, Format("record %lld %s", static_cast<long long>(n), problem.c_str()));
    }

    static void CheckTextRanges(TRecordWorker& worker, std::int64_t n, const TReferencePattern& pattern)
    {
        for (const TextList list : kAllTextLists) {
            const TextRange range = pattern.GetTextRange(list);
            if (range.IsEmpty())
                continue;
            const TextSideFile side = SideFileOf(list);
            const std::uint64_t available = worker.side.LineCount(side);
            const std::uint64_t end = static_cast<std::uint64_t>(range.First) + static_cast<std::uint64_t>(range.Count);
            if (end <= available) {
                worker.RangeUses.push_back({n, list, range.First, range.Count});
                continue;
            }
            worker.Problem(kMainDataFileName,
                    Format("record %lld: its %s (lines %d to %llu) lie past the end of %s (%llu lines)",
                           static_cast<long long>(n), TextListName(list), range.First,
                           static_cast<unsigned long long>(end - 1),
                           std::string(TextLineFileName(side)).c_str(),
                           static_cast<unsigned long long>(available)));
        }
    }

    // The entries of record n in each text index against the texts its
    // pattern gives, by the rebuild's rules or by those of adding one pattern.
    void CompareTextIndexes(TRecordWorker& worker, std::int32_t n, TReferencePattern& pattern) const
    {
        for (const TextIndex index : kRebuildTextIndexOrder) {
            const TTextIndexContent& content = textIndexes_[static_cast<std::size_t>(index)];
            if (!content.readable)
                continue;
            const auto actual = content.TakeRecord(n, worker.Next[static_cast<std::size_t>(index)]);
            const auto rebuilt = Normalised(RebuildIndexTexts(index, pattern));
            if (content.SameTexts(actual, rebuilt) ||
                content.SameTexts(actual, Normalised(AddedIndexTexts(index, pattern))))
                continue;
            worker.Problem(TextIndexFileName(index), Format("record %d has the entries %s, its pattern gives %s", n,
                                                     Quoted(content.Texts(actual)).c_str(),
                                                     Quoted(rebuilt).c_str()));
        }
    }

    // A StrongestLines.PDB record is compared in its meaningful part only.
    static bool SameRecord(const TBinaryIndex& file, ConstBytes actual, ConstBytes expected)
    {
        if (file.Name == kStrongestLinesFileName)
            return SameStrongestLines(actual, expected);
        return std::equal(actual.begin(), actual.end(), expected.begin(), expected.end());
    }

    void CompareBinaryIndexes(TRecordWorker& worker, std::int64_t n, TReferencePattern& pattern) const
    {
        const IndexRecord index = MakeIndexRecord(pattern);
        const CrystalIndexRecord crystal = MakeCrystalIndexRecord(pattern);
        // The pattern is let go after the check: its lines need not go back in order.
        const StrongestLinesRecord strongest = MakeStrongestLinesRecordOf(pattern);
        const ConstBytes expected[] = {index, crystal, strongest};
        for (std::size_t i = 0; i < binary_.size(); ++i) {
            const TBinaryIndex& file = binary_[i];
            if (!file.File || n > file.Records)
                continue;
            std::vector<std::uint8_t> actual(file.RecordSize);
            if (!ReadAt(*file.File, static_cast<std::uint64_t>(n - 1) * file.RecordSize, actual, &worker.Binary[i],
                        file.Size) ||
                !SameRecord(file, actual, expected[i]))
                worker.Problem(file.Name, Format("record %lld does not match pattern %lld", static_cast<long long>(n - 1),
                                          static_cast<long long>(n)));
        }
    }

    // The records in blocks, two at a time side by side, each block's
    // findings handed over in the order of the records as one thread would
    // have made them.
    void CheckRecords()
    {
        const auto codes = ReadTextReporting(kCodesFileName);
        comment_ = OpenReporting(kCommentFileName);
        literature_ = OpenReporting(kLiteratureFileName);
        codeLines_ = codes ? SplitTextLines(*codes) : std::vector<std::string>();
        constexpr std::int64_t kBlock = 4096; // records; two blocks' findings are held at once
        std::array<TRecordWorker, 2> workers{TRecordWorker(*this), TRecordWorker(*this)};
        std::int64_t userPatterns = 0;
        for (std::int64_t first = 1; first <= loadable_; first += 2 * kBlock) {
            const std::vector<std::exception_ptr> failures = RunTasksSideBySide(2, [&](std::size_t k) {
                const std::int64_t from = first + static_cast<std::int64_t>(k) * kBlock;
                for (std::int64_t n = from; n < from + kBlock && n <= loadable_; ++n)
                    CheckRecord(workers[k], n);
            });
            for (std::size_t k = 0; k < workers.size(); ++k) {
                if (failures[k])
                    std::rethrow_exception(failures[k]);
                TRecordWorker& worker = workers[k];
                for (const auto& [file, text] : worker.Problems)
                    Problem(file, text);
                ReserveLargeFor(rangeUses_, worker.RangeUses.size());
                rangeUses_.insert(rangeUses_.end(), worker.RangeUses.begin(), worker.RangeUses.end());
                userPatterns += worker.UserPatterns;
                worker.Problems.clear();
                worker.RangeUses.clear();
                worker.UserPatterns = 0;
            }
        }
        CheckSharedTextLines();
        if (loadable_ == patternCount_ && userPatterns != userPatternCount_)
            Problem(kMainDataFileName, Format("the header counts %d user patterns, %lld records carry the user mark",
                                         userPatternCount_, static_cast<long long>(userPatterns)));
    }

    // Record n against its own fields, the side files and the indexes; on
    // the worker's thread, touching only the worker and what is read-only.
    void CheckRecord(TRecordWorker& worker, std::int64_t n) const
    {
        TReferencePattern pattern;
        if (!LoadRecord(worker, n, pattern.Record()))
            return;
        pattern.SetDatabaseLink(&worker.side);
        if (pattern.IsUserPattern())
            ++worker.UserPatterns;
        CheckRecordFields(worker, n, pattern);
        CheckTextRanges(worker, n, pattern);
        try {
            CompareTextIndexes(worker, static_cast<std::int32_t>(n), pattern);
            CompareBinaryIndexes(worker, n, pattern);
        } catch (const Exception& error) {
            worker.Problem(kMainDataFileName,
                           Format("record %lld cannot be read: %s", static_cast<long long>(n), error.what()));
        }
    }

    void CheckSharedTextLines()
    {
        const std::vector<std::int64_t> owners = SharedTextLineOwners(rangeUses_);
        for (std::size_t i = 0; i < owners.size(); ++i) {
            if (owners[i] == 0)
                continue;
            const TTextRangeUse& use = rangeUses_[i];
            Problem(kMainDataFileName, Format("record %lld: its %s (lines %lld to %lld) are text lines of record %lld",
                                              static_cast<long long>(use.Record), TextListName(use.List),
                                              static_cast<long long>(use.First),
                                              static_cast<long long>(use.First + use.Count - 1),
                                              static_cast<long long>(owners[i])));
        }
    }

    fs::path folder_;
    TDatabaseFolder files_; // the files of folder_, whatever their letter case
    TProblemList problems_;
    std::optional<TFileHandle> main_;
    std::uint64_t mainSize_ = 0;
    std::size_t recordSize_ = kPatternRecordSize;
    std::int32_t patternCount_ = 0;
    std::int32_t userPatternCount_ = 0;
    std::int64_t loadable_ = 0;
    std::array<TTextIndexContent, kTextIndexCount> textIndexes_;
    std::array<TBinaryIndex, 3> binary_;
    std::optional<TFileHandle> comment_;
    std::optional<TFileHandle> literature_;
    std::vector<std::string> codeLines_;
    std::vector<TTextRangeUse> rangeUses_;
};

} // namespace

std::vector<std::string> CheckReferenceDatabase(const std::string& folder, const TDatabaseCheckOptions& options)
{
    return TDatabaseChecker(folder, options).Run();
}

std::vector<std::int64_t> SharedTextLineOwners(const std::vector<TTextRangeUse>& uses)
{
    std::vector<std::size_t> order;
    ResizeLarge(order, uses.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return uses[a].Record > uses[b].Record; });
    // Per side file, the line ranges already kept: first line -> (end, record),
    // disjoint.
    struct TClaim {
        std::int64_t End;
        std::int64_t Record;
    };
    std::array<std::map<std::int64_t, TClaim>, 2> claimed;
    std::vector<std::int64_t> owners;
    ResizeLarge(owners, uses.size()); // 0: owned by none
    for (const std::size_t i : order) {
        const TTextRangeUse& use = uses[i];
        if (use.Count <= 0)
            continue;
        auto& lines = claimed[static_cast<std::size_t>(SideFileOf(use.List))];
        std::int64_t first = use.First;
        std::int64_t end = use.First + use.Count;
        auto it = lines.upper_bound(first);
        if (it != lines.begin() && std::prev(it)->second.End > first)
            --it;
        // The claims the range touches: another record's makes it shared;
        // its own record's merge with it.
        auto last = it;
        for (; last != lines.end() && last->first < end; ++last)
            if (last->second.Record != use.Record && owners[i] == 0)
                owners[i] = last->second.Record;
        if (owners[i] != 0)
            continue;
        for (auto merged = it; merged != last; ++merged) {
            first = std::min(first, merged->first);
            end = std::max(end, merged->second.End);
        }
        lines.erase(it, last);
        lines.emplace(first, TClaim{end, use.Record});
    }
    return owners;
}

const char* TextListName(TextList list)
{
    static constexpr const char* names[] = {"coded comments", "comments", "references", "supplementary lines"};
    return names[static_cast<std::size_t>(list)];
}

std::vector<std::string> RecordFieldProblems(const PatternRecord& record, std::int64_t n)
{
    std::vector<std::string> problems;
    const auto recordNumber = ReadI32LE(record, pattern_layout::RecordNumber);
    if (recordNumber != n)
        problems.push_back(Format("holds the record number %d", recordNumber));
    const struct {
        std::size_t offset;
        std::size_t max;
        const char* what;
    } counts[] = {{pattern_layout::NameCount, pattern_layout::kMaxNames, "names"},
                  {pattern_layout::FormulaCount, pattern_layout::kMaxFormulas, "formulas"},
                  {pattern_layout::LineCount, pattern_layout::kMaxLines, "lines"}};
    for (const auto& count : counts)
        if (record[count.offset] > count.max)
            problems.push_back(Format("counts %u %s, at most %zu fit", static_cast<unsigned>(record[count.offset]),
                                      count.what, count.max));
    return problems;
}

} // namespace norrvik
