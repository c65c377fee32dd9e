// The salvage of a damaged target database: a run of ours that stopped is
// first restored to its last commit by the store itself; then the main data
// file is read without changing anything (which records are whole, which
// text lists are their own), the replaced files are copied aside, the main
// data file and the supporting files are written anew where needed, and
// every index is rebuilt from the kept patterns. Every file is written
// through the safe file layer: exclusive new files, put on the disk, never
// through a link.
#include "refdb/Recovery.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/DatabaseHeader.h"
#include "refdb/RecordFile.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/UndoPoint.h"
#include "refdb/SupportLists.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace norrvik {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBackupPrefix = "recover-backup-";
// The stored user codes 99000nnnn are the reference numbers above this one.
constexpr std::int32_t kFirstUserNumber = 990000000;

// The ten index files, rebuilt from the kept patterns in every case.
std::vector<std::string_view> IndexFileNames()
{
    std::vector<std::string_view> names;
    for (const TDatabaseFileInfo& file : kDatabaseFiles)
        if (file.Role == DatabaseFileRole::TextIndex || file.Role == DatabaseFileRole::BinaryIndex)
            names.push_back(file.Name);
    return names;
}

// "recover-backup-20261208-063412" in local time, made unique in `folder`.
fs::path MakeBackupFolder(const fs::path& folder)
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    char stamp[32] = "unknown-time";
    if (const std::tm* local = std::localtime(&now)) // one thread: the shared result is safe to use
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    const std::string base = std::string(kBackupPrefix) + stamp;
    for (int attempt = 1;; ++attempt) {
        const fs::path candidate = folder / (attempt == 1 ? base : base + "-" + std::to_string(attempt));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            SyncFolder(folder);
            return candidate;
        }
        if (error)
            throw EInOutError(FileErrorMessage("Cannot create folder", PathText(candidate), error.message()));
    }
}

bool Missing(const fs::path& path)
{
    return KindOfFile(path) == FileKind::Missing;
}

// One kept record: where it stands in the damaged file and the text lists
// taken off it.
struct TKeptRecord {
    std::int64_t Original = 0;
    std::vector<TextList> Cleared;
};

class TRecoverer {
public:
    TRecoverer(const std::string& folderText, const ProgressCallback& progress)
        : folderText_(folderText), folder_(PathFromText(folderText)), files_(folderText), progress_(progress)
    {
    }

    TRecoveryReport Run()
    {
        CompleteInterruptedRun();
        ReadMainDataFile();
        CheckTextLists();
        const bool rewriteMain = MainDataFileChanges();
        const bool resetSubfiles = SubfilesNeedReset();
        report_.PatternsKept = static_cast<std::int32_t>(kept_.size());
        for (const std::string& problem : CheckReferenceDatabase(folderText_))
            flaggedFiles_.insert(problem.substr(0, problem.find(':')));
        if (!rewriteMain && !resetSubfiles && flaggedFiles_.empty() && !SupportingFileMissing())
            return std::move(report_); // a sound database is left exactly as it is
        mainChanged_ = rewriteMain;
        salvagingStoppedRun_ = interruptedRunLeft_;
        DropUndoPoint(files_); // the salvage is a run of its own
        CopyAside(rewriteMain, resetSubfiles);
        if (rewriteMain)
            WriteMainDataFile();
        RecreateSupportingFiles(resetSubfiles);
        RebuildIndexes();
        TidyBackup();
        return std::move(report_);
    }

private:
    fs::path FilePath(std::string_view name) const { return files_.Path(name); }
    void Say(std::string_view file, const std::string& text) { report_.Lines.push_back(std::string(file) + ": " + text); }

    // A run of ours that stopped: the store restores its last commit (and
    // rebuilds the indexes) exactly as the next conversion would, so that
    // the salvage starts from the committed state. When the store cannot,
    // the files are salvaged as they are and the marker goes with the
    // salvage's own rebuild.
    void CompleteInterruptedRun()
    {
        if (Missing(FilePath(kRunMarkerFileName)))
            return;
        try {
            const std::int32_t patterns = RebuildIndexes();
            Say(kRunMarkerFileName, Format("a conversion into this database had been interrupted; the database is "
                                           "restored to its last commit (%d patterns) and its indexes rebuilt",
                                           patterns));
        } catch (const Exception& error) {
            Say(kRunMarkerFileName, Format("a conversion into this database had been interrupted and the database "
                                           "cannot be restored to its last commit (%s); it is salvaged as it is",
                                           error.what()));
            interruptedRunLeft_ = true;
        }
    }

    // Phase 1, reading only: the header and the whole records.
    void ReadMainDataFile()
    {
        const fs::path path = FilePath(kMainDataFileName);
        if (Missing(path))
            throw Exception(Format("Folder %s doesn't contain a reference database (%s); there is nothing to recover.",
                                   folderText_.c_str(), std::string(kMainDataFileName).c_str()));
        main_.Open(path, kPatternRecordSize, true);
        if (main_.RecordCount() < 1)
            throw EInOutError(FileErrorMessage("Cannot recover file", PathText(path),
                                               "it is shorter than its header; nothing can be recovered from it"));
        main_.ReadRecord(0, header_.Record());
        bool older = false;
        try {
            older = header_.IsOlderRecordFormat(PathText(path));
        } catch (const EConvertError&) {
            Say(kMainDataFileName, Format("the header's version \"%s\" is not a number; it is set to %s",
                                          Windows1252ToUtf8(header_.Version()).c_str(),
                                          std::string(kCurrentDatabaseVersion).c_str()));
            DatabaseHeader fresh = DatabaseHeader::NewDatabase(header_.Title());
            fresh.SetCounts(header_.PatternCount(), header_.UserPatternCount());
            header_ = fresh;
            headerChanged_ = true;
        }
        if (older)
            throw EInOutError(FileErrorMessage(
                "Cannot recover file", PathText(path),
                "it has the older record format (version below 2.0, records of 3307 bytes), which recover does not "
                "rewrite; nothing was changed. Its indexes can be rebuilt with \"norrvik-cli rebuild\"; damaged "
                "records can only be restored from a copy of the database"));
        std::error_code error;
        const std::uint64_t size = fs::file_size(path, error); // the regular file just opened
        tornBytes_ = size % kPatternRecordSize;
        held_ = main_.RecordCount() - 1;
        if (tornBytes_ != 0)
            Say(kMainDataFileName, Format("dropped the last %llu bytes, a record cut short",
                                          static_cast<unsigned long long>(tornBytes_)));
        PatternRecord record{};
        for (std::int64_t n = 1; n <= held_; ++n) {
            main_.ReadRecord(n, record);
            const std::vector<std::string> problems = RecordFieldProblems(record, n);
            if (problems.empty())
                kept_.push_back({n, {}});
            else
                Say(kMainDataFileName, Format("dropped record %lld: it %s, so it is not a whole pattern",
                                              static_cast<long long>(n), problems.front().c_str()));
        }
    }

    // Whole lines of the side file, 0 when it is missing. One that is a link
    // or no regular file stops the salvage (naming it): counting it empty
    // would take every text list off the patterns.
    std::uint64_t SideFileLines(TextSideFile side) const
    {
        const auto file = TFileHandle::OpenIfExists(FilePath(TextLineFileName(side)), FileOpening::Read);
        return file ? file->Size() / kTextLineSize : 0;
    }

    std::string Describe(const TKeptRecord& kept)
    {
        PatternRecord record{};
        main_.ReadRecord(kept.Original, record);
        pattern_.Record() = record;
        return Format("record %lld (%s)", static_cast<long long>(kept.Original),
                      Windows1252ToUtf8(pattern_.GetReferenceCode()).c_str());
    }

    void TakeOff(std::size_t keptIndex, TextList list, const std::string& why)
    {
        TKeptRecord& kept = kept_[keptIndex];
        kept.Cleared.push_back(list);
        Say(kMainDataFileName, Format("%s is kept without its %s: %s", Describe(kept).c_str(), TextListName(list),
                                      why.c_str()));
    }

    // Text lists past the end of their side file, then those whose lines
    // are a later record's, are taken off their records.
    void CheckTextLists()
    {
        const std::array<std::uint64_t, 2> available = {SideFileLines(TextSideFile::Comment),
                                                        SideFileLines(TextSideFile::Literature)};
        std::vector<TTextRangeUse> uses;
        std::vector<std::size_t> useOwner;
        PatternRecord record{};
        for (std::size_t k = 0; k < kept_.size(); ++k) {
            main_.ReadRecord(kept_[k].Original, record);
            pattern_.Record() = record;
            for (const TextList list : kAllTextLists) {
                const TextRange range = pattern_.GetTextRange(list);
                if (range.IsEmpty())
                    continue;
                const std::uint64_t end = static_cast<std::uint64_t>(range.First) + static_cast<std::uint64_t>(range.Count);
                const TextSideFile side = SideFileOf(list);
                if (end > available[static_cast<std::size_t>(side)]) {
                    TakeOff(k, list, Format("its lines %d to %llu lie past the end of %s (%llu lines)", range.First,
                                            static_cast<unsigned long long>(end - 1),
                                            std::string(TextLineFileName(side)).c_str(),
                                            static_cast<unsigned long long>(available[static_cast<std::size_t>(side)])));
                    continue;
                }
                uses.push_back({kept_[k].Original, list, range.First, range.Count});
                useOwner.push_back(k);
            }
        }
        const std::vector<std::int64_t> owners = SharedTextLineOwners(uses);
        for (std::size_t i = 0; i < owners.size(); ++i)
            if (owners[i] != 0)
                TakeOff(useOwner[i], uses[i].List,
                        Format("its lines %lld to %lld are the text lines of record %lld",
                               static_cast<long long>(uses[i].First),
                               static_cast<long long>(uses[i].First + uses[i].Count - 1),
                               static_cast<long long>(owners[i])));
    }

    // True when the main data file must be written anew; says what changes.
    bool MainDataFileChanges()
    {
        std::int32_t users = 0;
        std::int32_t highestUserCode = 0;
        bool recordsChange = tornBytes_ != 0 || static_cast<std::int64_t>(kept_.size()) != held_;
        PatternRecord record{};
        for (const TKeptRecord& kept : kept_) {
            main_.ReadRecord(kept.Original, record);
            pattern_.Record() = record;
            users += pattern_.IsUserPattern() ? 1 : 0;
            const std::int32_t number = ReferenceNumberFromStoredCode(pattern_.GetStoredReferenceCode());
            if (pattern_.IsUserPattern() && number > kFirstUserNumber && number <= kFirstUserNumber + kMaxUserCodeNumber)
                highestUserCode = std::max(highestUserCode, number - kFirstUserNumber);
            recordsChange = recordsChange || !kept.Cleared.empty();
        }
        if (highestUserCode > users)
            Say(kMainDataFileName, Format("the kept patterns hold user codes up to %s but count only %d user "
                                          "patterns: a later conversion into this database would hand out codes "
                                          "that are taken",
                                          UserDisplayCode(highestUserCode).c_str(), users));
        const auto patterns = static_cast<std::int32_t>(kept_.size());
        if (header_.PatternCount() != patterns || header_.UserPatternCount() != users) {
            Say(kMainDataFileName, Format("the header counted %d patterns (%d user patterns); it now counts the %d "
                                          "kept (%d user patterns)",
                                          header_.PatternCount(), header_.UserPatternCount(), patterns, users));
            header_.SetCounts(patterns, users);
            headerChanged_ = true;
        }
        return recordsChange || headerChanged_;
    }

    bool SubfilesNeedReset()
    {
        const std::optional<std::string> content = ReadWholeFile(FilePath(kSubfilesFileName));
        if (!content)
            return false; // re-created below
        const std::vector<std::string> lines = SplitTextLines(*content);
        const auto wrong = FirstWrongSubfileLine(lines);
        if (!wrong)
            return false;
        Say(kSubfilesFileName, Format("line %zu has the code \"%s\"; the file is written anew with the standard "
                                      "subfiles",
                                      *wrong + 1, SubfileCode(lines[*wrong]).c_str()));
        return true;
    }

    // Phase 2: every file about to be replaced is copied aside first.
    void CopyAside(bool rewriteMain, bool resetSubfiles)
    {
        std::vector<std::string_view> names = IndexFileNames();
        if (rewriteMain)
            names.push_back(kMainDataFileName);
        if (resetSubfiles)
            names.push_back(kSubfilesFileName);
        const fs::path backup = MakeBackupFolder(folder_);
        backup_ = backup;
        report_.BackupFolder = PathText(backup);
        for (const std::string_view name : names) {
            if (Missing(FilePath(name)))
                continue;
            try {
                CopyFileDurably(FilePath(name), backup / PathFromText(name));
            } catch (const EInOutError& error) {
                std::error_code ignored; // the copies made so far are of unchanged files
                fs::remove_all(backup, ignored);
                throw EInOutError(std::string(error.what()) + "; nothing was changed");
            }
        }
        SyncFolder(backup);
    }

    // The kept records, numbered anew from 1, replace the file once they
    // are all written and on the disk (wholly old or wholly new).
    void WriteMainDataFile()
    {
        std::int64_t number = 0;
        ReplaceFileAtomically(FilePath(kMainDataFileName), [&](TFileHandle& out) {
            out.WriteAt(0, header_.Record());
            PatternRecord record{};
            for (const TKeptRecord& kept : kept_) {
                main_.ReadRecord(kept.Original, record);
                pattern_.Record() = record;
                pattern_.SetRecordNumber(static_cast<std::int32_t>(++number));
                for (const TextList list : kept.Cleared)
                    pattern_.SetTextRange(list, TextRange{});
                out.WriteAt(static_cast<std::uint64_t>(number) * kPatternRecordSize, pattern_.Record());
            }
            // Closed before the new file takes its place: Windows replaces no open file.
            main_.Close();
        });
        if (number != held_)
            Say(kMainDataFileName, Format("the %lld kept patterns are numbered 1 to %lld", static_cast<long long>(number),
                                          static_cast<long long>(number)));
    }

    bool SupportingFileMissing() const
    {
        for (const std::string_view name : {kCommentFileName, kLiteratureFileName, kSubfilesFileName, kCodesFileName})
            if (Missing(FilePath(name)))
                return true;
        return false;
    }

    void Recreate(std::string_view name, std::string_view content, const char* what)
    {
        WriteWholeFile(FilePath(name), content);
        Say(name, Format("re-created %s", what));
    }

    void RecreateSupportingFiles(bool resetSubfiles)
    {
        for (const std::string_view name : {kCommentFileName, kLiteratureFileName})
            if (Missing(FilePath(name)))
                Recreate(name, {}, "(empty): it was missing");
        std::string subfiles;
        for (std::size_t i = 0; i < kDefaultSubfileCount; ++i)
            subfiles += std::string(kSubfileTable[i]) + "\r\n";
        if (resetSubfiles)
            WriteWholeFile(FilePath(kSubfilesFileName), subfiles);
        else if (Missing(FilePath(kSubfilesFileName)))
            Recreate(kSubfilesFileName, subfiles, "with the standard subfiles: it was missing");
        if (Missing(FilePath(kCodesFileName)))
            Recreate(kCodesFileName, {}, "(empty, no journal codes): it was missing");
    }

    // Every index rebuilt from the kept patterns alone: the old index files
    // are neither read nor needed. Gives the pattern count.
    std::int32_t RebuildIndexes()
    {
        main_.Close();
        if (interruptedRunLeft_) {
            // The salvaged files are the state to keep: the store must not
            // cut them back to what the marker of the stopped run says.
            std::error_code error;
            if (!fs::remove(FilePath(kRunMarkerFileName), error) && error)
                throw EInOutError(FileErrorMessage("Cannot remove file", PathText(FilePath(kRunMarkerFileName)),
                                                   error.message()));
            SyncFolder(folder_);
            interruptedRunLeft_ = false;
        }
        TReferenceDatabase database;
        database.SetDatabaseName(folderText_);
        database.OpenForIndexRebuild();
        database.SetProgressCallback(progress_);
        database.RebuildIndexes();
        const std::int32_t patterns = database.PatternCount();
        database.Close();
        return patterns;
    }

    // Copies of files that came out the same are removed again, and says
    // which indexes were re-created or rebuilt.
    void TidyBackup()
    {
        for (const std::string_view name : IndexFileNames()) {
            const fs::path copy = backup_ / PathFromText(name);
            std::error_code error;
            if (Missing(copy)) {
                Say(name, "re-created from the patterns: it was missing");
                continue;
            }
            if (ReadWholeFile(copy) == ReadWholeFile(FilePath(name))) {
                fs::remove(copy, error);
                continue;
            }
            // An index that was sound for the patterns as they stood may come
            // out in another order of equal entries: kept aside, not named.
            if (mainChanged_ || salvagingStoppedRun_ || flaggedFiles_.count(std::string(name)) != 0)
                Say(name, "rebuilt from the patterns");
        }
        std::error_code error;
        if (fs::is_empty(backup_, error)) {
            fs::remove(backup_, error);
            report_.BackupFolder.clear();
        }
    }

    std::string folderText_;
    fs::path folder_;
    TDatabaseFolder files_; // the files of folder_, whatever their letter case
    fs::path backup_; // the folder the replaced files are copied to
    ProgressCallback progress_;
    TRecoveryReport report_;
    TRecordFile main_;
    DatabaseHeader header_;
    bool headerChanged_ = false;
    bool mainChanged_ = false;
    bool interruptedRunLeft_ = false; // the marker of a stopped run the store could not restore
    bool salvagingStoppedRun_ = false;
    std::set<std::string> flaggedFiles_; // files the checker finds problems in
    std::uint64_t tornBytes_ = 0;
    std::int64_t held_ = 0;
    std::vector<TKeptRecord> kept_;
    TReferencePattern pattern_; // the record being looked at, without a database link
};

} // namespace

TRecoveryReport RecoverReferenceDatabase(const std::string& folder, const ProgressCallback& progress)
{
    return TRecoverer(folder, progress).Run();
}

} // namespace norrvik
