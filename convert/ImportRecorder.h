// The import log written as a conversion runs: the run's begin line before
// its first pattern, its entries once the patterns they name are committed
// (told by the store's run, see refdb/DatabaseRun.h), and its end with the
// outcome once the target is closed (see ImportLog.h for the crash rules).
#pragma once

#include "convert/Conversion.h"
#include "convert/Formats.h"
#include "convert/ImportLog.h"
#include "common/TypedFolder.h"
#include "refdb/DatabaseRun.h"

#include <string>
#include <vector>

namespace norrvik {

class TReferenceDatabase;

class TImportRecorder : public TRunObserver {
public:
    // The log of the database folder `newFolder`.
    explicit TImportRecorder(const TTypedFolder& newFolder);

    // When the folder holds the marker of a stopped run (looked at before the
    // target is opened, which restores it): the restore is written into the
    // log once the target is open (NoteOpened).
    void NoteStoppedRunBeforeOpen();
    // The number the run gets in the log (read before the target is opened,
    // so that its undo point can carry it).
    int NextRunNumber() const { return nextRun_; }
    // The target is open (or new): writes a pending restore, then the
    // run's begin line. `created`: the run made the database.
    void Begin(TReferenceDatabase& target, bool created, SourceFormat format, const std::string& oldFolder,
               const TResumePoint& resume);
    int RunNumber() const { return run_.Number; }

    // An entry gone through; written with the next commit.
    void Record(TImportEntry entry);
    // The run is over and the target closed: `closed` when the close
    // succeeded (every pattern written is committed), then the end line.
    // A run that completed raises EInOutError when its record could not be
    // written (now or at a commit); a run that stopped keeps its own error.
    void End(ImportOutcome outcome, const std::string& message, const TConversionSummary& summary, bool closed);

    // TRunObserver: a failure to write the log never reaches the store's
    // commit; End reports it.
    void RunBegun(const TRunStart&) override {}
    void PatternsCommitted() override { WritePendingAtCommit(); }
    void RunFinished() override { WritePendingAtCommit(); }
    void RunRestored(const std::optional<TRunStart>&) override {}

private:
    void WritePending();
    void WritePendingAtCommit() noexcept;
    void WriteEnd(const TConversionSummary& summary, bool closed);

    std::string failure_; // why the log could not be written; empty while it can
    TTypedFolder folder_;
    TImportLogWriter writer_;
    TImportRun run_;
    bool begun_ = false;
    bool stoppedRunThere_ = false;
    int nextRun_ = 1;
    std::vector<TImportEntry> pending_;
};

} // namespace norrvik
