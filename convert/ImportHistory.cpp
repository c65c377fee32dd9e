// The earlier imports from an old folder and the stopped run a new run can
// finish, from the import log of the target (see ImportHistory.h).
#include "convert/ImportHistory.h"

#include "convert/DryRun.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferenceDatabase.h"

#include <algorithm>

namespace norrvik {

namespace {

std::vector<TImportRun> RunsFrom(const TTypedFolder& newFolder, const std::string& oldFolder)
{
    const TImportSource source = DescribeImportSource(oldFolder);
    std::vector<TImportRun> runs = CurrentImportRuns(ReadImportLog(newFolder.Path, LogDetail::Runs));
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [&](const TImportRun& run) { return !SameImportSource(run.Source, source); }),
               runs.end());
    return runs;
}

// The first run of a chain of runs that finished one another.
const TImportRun& FirstOfChain(const std::vector<TImportRun>& runs, const TImportRun& last)
{
    const TImportRun* first = &last;
    while (first->Finishes != 0) {
        const auto earlier = std::find_if(runs.begin(), runs.end(),
                                          [&](const TImportRun& run) { return run.Number == first->Finishes; });
        if (earlier == runs.end())
            break;
        first = &*earlier;
    }
    return *first;
}

} // namespace

long PatternsStoredBy(const TImportRun& run)
{
    if (run.Outcome != ImportOutcome::Interrupted)
        return run.Added;
    if (run.RestoredPatterns)
        return std::max(*run.RestoredPatterns - run.PatternsBefore, 0L);
    return run.StoredEntries();
}

TEarlierImports FindEarlierImports(const TTypedFolder& newFolder, const std::string& oldFolder)
{
    TEarlierImports earlier;
    for (const TImportRun& run : RunsFrom(newFolder, oldFolder)) {
        earlier.Patterns += PatternsStoredBy(run);
        earlier.Latest = run;
    }
    if (earlier.Patterns == 0) {
        earlier.Latest.reset();
        earlier.Patterns = CountEarlierImports(newFolder.Text, oldFolder);
    }
    return earlier;
}

std::optional<TStoppedRun> FindStoppedRun(const TFormatInfo& format, const TTypedFolder& newFolder,
                                          const std::string& oldFolder)
{
    if (!IsUserDatabaseConversion(format, oldFolder) || !IsReferenceDatabaseFolder(newFolder))
        return std::nullopt;
    const std::vector<TImportRun> runs = CurrentImportRuns(ReadImportLog(newFolder.Path, LogDetail::Runs));
    if (runs.empty())
        return std::nullopt;
    const TImportRun& last = runs.back();
    if (last.Outcome == ImportOutcome::Completed || last.Format != format.CliName ||
        !SameImportSource(last.Source, DescribeImportSource(oldFolder)))
        return std::nullopt;
    TReferenceDatabase target;
    target.SetDatabaseName(newFolder.Text);
    target.Open();
    const TImportRun& first = FirstOfChain(runs, last);
    const long stored = target.UserPatternCount() - first.UserPatternsBefore;
    if (stored < 0)
        return std::nullopt;
    return TStoppedRun{last, {last.Number, stored, first.UserPatternsBefore, first.Source.AsGiven}};
}

} // namespace norrvik
