// The import log written as a conversion runs (see ImportRecorder.h).
#include "convert/ImportRecorder.h"

#include "common/Exceptions.h"
#include "common/Version.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/ReferenceDatabase.h"

#include <algorithm>
#include <utility>

namespace norrvik {

TImportRecorder::TImportRecorder(const TTypedFolder& newFolder) : folder_(newFolder), writer_(newFolder.Path) {}

void TImportRecorder::NoteStoppedRunBeforeOpen()
{
    stoppedRunThere_ = TDatabaseFolder(folder_.Text).Exists(kRunMarkerFileName);
    nextRun_ = writer_.NextRunNumber();
}

void TImportRecorder::Begin(TReferenceDatabase& target, bool created, SourceFormat format,
                            const std::string& oldFolder, const TResumePoint& resume)
{
    const std::vector<TImportRun> runs = ReadImportLog(folder_.Path, LogDetail::Runs);
    if (stoppedRunThere_ && !runs.empty() && runs.back().Outcome == ImportOutcome::Interrupted &&
        !runs.back().RestoredPatterns)
        writer_.WriteRestored(runs.back().Number, target.PatternCount());
    run_.Number = nextRun_;
    run_.Version = kVersion;
    run_.Format = std::string(kFormats[FormatPosition(format)].CliName);
    run_.Source = DescribeImportSource(oldFolder);
    run_.NewDatabase = created;
    run_.PatternsBefore = target.PatternCount();
    run_.UserPatternsBefore = target.UserPatternCount();
    run_.Finishes = resume.Run;
    writer_.WriteBegin(run_);
    begun_ = true;
}

void TImportRecorder::Record(TImportEntry entry)
{
    if (begun_)
        pending_.push_back(std::move(entry));
}

void TImportRecorder::End(ImportOutcome outcome, const std::string& message, const TConversionSummary& summary,
                          bool closed)
{
    if (!begun_)
        return;
    begun_ = false;
    run_.Outcome = outcome;
    run_.Message = message;
    try {
        WriteEnd(summary, closed);
    } catch (const std::exception& error) {
        if (failure_.empty())
            failure_ = error.what();
    }
    if (!failure_.empty() && outcome == ImportOutcome::Completed)
        throw EInOutError(failure_ + " The patterns were added, but the import log does not record the whole run.");
}

void TImportRecorder::WriteEnd(const TConversionSummary& summary, bool closed)
{
    if (!failure_.empty())
        return;
    if (closed)
        WritePending();
    run_.EntriesTotal = summary.EntriesTotal;
    run_.EntriesDone = summary.EntriesDone;
    run_.Added = summary.Added;
    run_.Skipped = summary.Skipped;
    run_.WithoutLines = summary.EntriesWithoutLines;
    run_.PatternsAfter = summary.TargetPatternCount;
    writer_.WriteEnd(run_);
}

void TImportRecorder::WritePendingAtCommit() noexcept
{
    if (!failure_.empty())
        return;
    try {
        WritePending();
    } catch (const std::exception& error) {
        failure_ = error.what();
    }
}

void TImportRecorder::WritePending()
{
    if (pending_.empty())
        return;
    writer_.WriteEntries(run_.Number, pending_);
    pending_.clear();
}

} // namespace norrvik
