// What the three conversion drivers share: the target database opened or
// created in the new folder (refusing to replace a database that holds
// patterns), the comment line that says where a pattern came from, the user
// code of the next user pattern, the mapping of lines and texts into a target
// pattern, and progress reports with the run's summary.
#pragma once

#include "convert/Conversion.h"
#include "convert/Formats.h"
#include "convert/ImportRecorder.h"
#include "common/TypedFolder.h"
#include "refdb/DatabaseLock.h"
#include "refdb/ReferenceDatabase.h"
#include "refdb/ReferencePattern.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

namespace norrvik {

// The comment line of a converted pattern, built from the old folder text as
// the user typed it (converted to the 8-bit code page of the target files):
// "Imported from <folder>" up to 56 characters of folder, "From <folder>"
// from 57 to 65, the folder alone from 66 on. A line feed or carriage return
// in the folder text becomes a blank (the comment stays one line); lengths
// are counted after that.
std::string ImportCommentLine(const std::string& oldFolder);

// The user code "99-000-%4.4d" of the next user pattern of the target;
// raises NoUserCodeLeftMessage when the target has none left.
std::string NextUserCode(TReferenceDatabase& target);

// Intensities of peak lists are rounded to the nearest integer, halves to even.
std::int16_t RoundedIntensity(double intensity);

// Adds a diffraction line, its d-spacing taken in single precision.
void AddConvertedLine(TReferencePattern& pattern, double d, std::int16_t intensity,
                      std::int16_t h, std::int16_t k, std::int16_t l);

// Fills the texts every driver sets: an empty element set, the formula line,
// the name as mineral name, the reference code, the status and the comment
// line from the old folder.
void FillConvertedPattern(TReferencePattern& pattern, const std::string& formula,
                          const std::string& name, const std::string& referenceCode,
                          std::int16_t status, const std::string& oldFolder);

// The absolute, normalised path of a folder, without a trailing delimiter;
// links resolved as far as the path exists.
std::filesystem::path NormalisedFolder(const std::filesystem::path& folder);

// Raises when the new folder is the old folder, however each is spelled (a
// link, "..", a relative text, another letter case where the file system
// ignores it; folders that do not exist are compared by their absolute,
// normalised paths): a conversion never writes a database into the folder
// it reads.
void RefuseSourceAsTarget(const std::string& oldFolder, const TTypedFolder& newFolder);

// The target side of one conversion run: locks the new folder for the whole
// run (created first when missing; a folder another run holds is refused
// before anything is written), opens the target database there (or creates
// a new one), records the run in the target's import log (ImportRecorder.h),
// counts what is added and skipped, reports progress, and closes the
// database at the end, also when the run fails or is cancelled: a close that
// fails then is reported with the run's own message.
class TConversionTarget {
public:
    // The target of a run that reads `oldFolder` as `format`: a new folder
    // that is the old folder is refused (RefuseSourceAsTarget) before
    // anything is made or opened. `resume`: the stopped run it finishes.
    TConversionTarget(const std::string& oldFolder, const std::string& newFolder, const ProgressCallback& progress,
                      TConversionSummary* summary, SourceFormat format, const TResumePoint& resume = {});
    ~TConversionTarget();
    TConversionTarget(const TConversionTarget&) = delete;
    TConversionTarget& operator=(const TConversionTarget&) = delete;

    TReferenceDatabase& Database() { return *database_; }

    void SetEntryTotal(long total);
    // Lets the front end show progress (and stop the run by throwing).
    void ReportProgress(long entriesDone);
    // Entry `entry` (from 1) of the source, `name` there, stored under
    // `code`; `withoutLines` when it had no pattern file.
    void EntryStored(long entry, const std::string& name, const std::string& code, bool withoutLines = false);
    // Entry `entry` not stored: the target holds `code` already.
    void EntrySkipped(long entry, const std::string& name, const std::string& code);
    // True for an entry the stopped run this one finishes stored (recorded
    // so); such entries are passed over. Ask it only of entries that store
    // a pattern.
    bool PassOverStoredEntry(long entry, const std::string& name);
    void RecordMapping(TCodeMapping mapping);

    // Runs the conversion's work, then closes the database (index rebuild
    // included) and ends the run's record in the log with its outcome.
    // Whatever `work` raises, the database is closed before the exception
    // goes on; when that close fails too, the exception that goes on is a
    // plain Exception whose message tells both.
    void Run(const std::function<void()>& work);

private:
    void UpdateTargetCount();
    void Finish();
    [[noreturn]] void CloseAfterFailure(std::exception_ptr failure);

    TTypedFolder newFolder_;
    TDatabaseLock lock_; // released after the database has closed
    TImportRecorder recorder_; // outlives the database it observes
    std::unique_ptr<TReferenceDatabase> database_;
    ProgressCallback progress_;
    TConversionSummary localSummary_;
    TConversionSummary* summary_;
    TResumePoint resume_;
    long passedOver_ = 0;
};

// Opens the database of `newFolder` for writing when the folder holds the
// nine required files; otherwise creates a new, empty database titled "PDF2"
// there. A folder whose ReferenceDatabase.PDB holds patterns (more than the
// header, or a header counting patterns) but lacks a required file is
// refused with an error naming the folder and the missing file, and nothing
// in it is changed.
// With `undoRun`, the run's first change keeps an undo point under that run
// number (TReferenceDatabase::KeepUndoPoint).
std::unique_ptr<TReferenceDatabase> OpenOrCreateTargetDatabase(const TTypedFolder& newFolder,
                                                               std::optional<int> undoRun = std::nullopt);
// The same for the folder text as typed.
std::unique_ptr<TReferenceDatabase> OpenOrCreateTargetDatabase(const std::string& newFolder,
                                                               std::optional<int> undoRun = std::nullopt);

// The refusals a run would meet at `newFolder` before it converts anything:
// a folder another run holds, a folder or database file it may not write,
// an incomplete database that holds patterns. Nothing is left written; the lock
// is given back at once (the run takes it again).
void CheckTargetBeforeRun(const std::string& newFolder);

// Raises the refusal above for a folder that holds no complete database but
// whose ReferenceDatabase.PDB holds patterns; does nothing otherwise.
void CheckTargetCanBeCreated(const TTypedFolder& newFolder);

// True when the target already holds a pattern with this code. Any failure
// of the look-up (no such code, no index yet, a damaged index) counts as
// absent, so the pattern is added.
bool TargetHoldsCode(TReferenceDatabase& target, const std::string& code);

// The conversion of a user database whose reader hands out entries with a
// formula, a name and lines of d-spacing and percent intensity (Kandor,
// Veltro): every entry becomes a user pattern with the next user code, its
// intensities rounded halves to even and no Miller indices; there is no test
// for duplicates. Entries the reader delivers without lines for want of a
// pattern file (DeliveredWithoutPatternFile) are counted and named in the
// summary; each entry is named in the import log by its EntryName. A run
// that finishes a stopped one passes over the entries that run stored. The
// target is opened first and closed last; the reader is
// freed before the target closes; each entry's pattern is freed before the
// second progress report of that entry.
template <typename TSource, typename TEntry>
void ConvertUserDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                         const ProgressCallback& progress, TConversionSummary* summary, SourceFormat format,
                         const TResumePoint& resume)
{
    constexpr std::int16_t kNoMillerIndex = 0;
    success = false;
    TConversionTarget target(oldFolder, newFolder, progress, summary, format, resume);
    target.Run([&] {
        TSource source;
        source.SetDBName(oldFolder);
        const auto count = std::max(source.EntryCount(), decltype(source.EntryCount()){0});
        target.SetEntryTotal(static_cast<long>(count));
        TEntry entry; // kept for the whole loop, overwritten by every entry
        for (auto i = decltype(count){0}; i < count; ++i) {
            source.GetEntry(i, entry);
            const long number = static_cast<long>(i) + 1;
            if (target.PassOverStoredEntry(number, EntryName(entry))) {
                target.ReportProgress(number);
                continue;
            }
            {
                TReferencePattern pattern;
                FillConvertedPattern(pattern, entry.Formula, entry.Name, NextUserCode(target.Database()),
                                     kUserPatternStatus, oldFolder);
                // Never past the lines the entry holds, whatever its count says.
                const auto lineCount = std::min<std::size_t>(
                    static_cast<std::size_t>(std::max<long>(static_cast<long>(entry.LineCount), 0)),
                    std::size(entry.Lines));
                for (std::size_t j = 0; j < lineCount; ++j)
                    AddConvertedLine(pattern, entry.Lines[j].D, RoundedIntensity(entry.Lines[j].Intensity),
                                     kNoMillerIndex, kNoMillerIndex, kNoMillerIndex);
                target.Database().AddPattern(pattern);
                target.EntryStored(number, EntryName(entry), pattern.GetReferenceCode(),
                                   DeliveredWithoutPatternFile(entry));
                target.ReportProgress(number);
            }
            // Once more after the pattern is freed: the window gets two chances
            // per entry to keep its animation moving.
            target.ReportProgress(number);
        }
    });
    success = true;
}

} // namespace norrvik
