// The conversion drivers: each converts an old database folder into a
// Tessaly reference database folder (a new one, or an existing one the
// patterns are added to). Both folder texts are passed exactly as the user
// typed them. `success` is false on entry and true only when everything is
// done; every failure leaves as an exception with its message, after the
// source and the target have been closed (patterns added before it stay).
#pragma once

#include "common/Exceptions.h"
#include "common/Progress.h"

#include <string>
#include <vector>

namespace norrvik {

// A user pattern of a Tessaly source and the code it has in the target:
// the new user code it was added under, or, when the target already held
// it (carried over before), the code it has there.
struct TCodeMapping {
    std::string OldCode;
    std::string NewCode;
    bool AlreadyPresent = false;
};

// What a conversion did, filled in as it goes (so it is right after an
// exception too).
struct TConversionSummary {
    long EntriesTotal = 0;       // source entries (records) to go through
    long EntriesDone = 0;        // source entries gone through
    long Added = 0;              // patterns added to the target
    long Skipped = 0;            // patterns already in the target, not added again
    long TargetPatternCount = 0; // patterns in the target after the run
    // User-database entries converted without lines because their pattern
    // file was missing or unreadable (not a file, or a name that is no file
    // name of the folder).
    long EntriesWithoutLines = 0;
    // Their names in the source (pattern file names), in source order.
    std::vector<std::string> EntriesWithoutPatternFile;
    // Tessaly sources: every user pattern gone through, in source order.
    std::vector<TCodeMapping> CodeMappings;
    // The run made the target database (undoing it deletes its files).
    bool CreatedDatabase = false;
};

// A run that finishes one that stopped (the import log's run `Run`): the
// first entries that would store a pattern are passed over, as the stopped
// run (and any run it finished) stored `StoredPatterns` of them, from the
// user code after `UserPatternsBefore` on; the rest are converted as the
// stopped run would have converted them. Run 0: an ordinary run.
struct TResumePoint {
    int Run = 0;
    long StoredPatterns = 0;
    long UserPatternsBefore = 0;
    // The old folder as the stopped run was given it: its patterns' comment
    // lines name it so.
    std::string OldFolder;
};

// Raised by a front end's progress callback to stop a conversion between
// entries; the drivers let it pass like any other exception.
class EConversionCancelled : public Exception {
public:
    using Exception::Exception;
};

void ConvertQuorvaneDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                             const ProgressCallback& progress = {}, TConversionSummary* summary = nullptr);

void ConvertKandorDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress = {}, TConversionSummary* summary = nullptr);

void ConvertVeltroDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress = {}, TConversionSummary* summary = nullptr);

// The same, finishing a stopped run (TResumePoint).
void ResumeQuorvaneConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                             const ProgressCallback& progress, TConversionSummary* summary,
                             const TResumePoint& resume);
void ResumeKandorConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, TConversionSummary* summary, const TResumePoint& resume);
void ResumeVeltroConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                           const ProgressCallback& progress, TConversionSummary* summary, const TResumePoint& resume);

// A Tessaly database as the source: its user patterns are carried into the
// target under the target's next user codes, its reference patterns whose
// code the target lacks are appended, each pattern exactly as the source
// holds it (convert/TessalyConversion.h).
struct TCarryOverOptions {
    bool UserOnly = false; // reference patterns are not copied
};
void ConvertTessalyDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                            const ProgressCallback& progress = {}, TConversionSummary* summary = nullptr,
                            const TCarryOverOptions& options = {});

} // namespace norrvik
