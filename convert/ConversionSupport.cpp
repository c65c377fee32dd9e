// What the three conversion drivers share.
#include "convert/ConversionSupport.h"

#include "common/Platform.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Numbers.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseHeader.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/TargetCheck.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

namespace norrvik {

namespace {


// True when the folder's ReferenceDatabase.PDB holds more than a bare header:
// creating a database there would delete patterns.
bool HoldsStoredPatterns(const std::filesystem::path& folder)
{
    const std::filesystem::path mainFile = folder / PathFromText(kMainDataFileName);
    std::error_code error;
    if (!std::filesystem::is_regular_file(mainFile, error))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(mainFile, error);
    if (error || size > kPatternRecordSize)
        return true;
    const std::vector<std::uint8_t> header = ReadFileBytes(mainFile);
    if (header.size() < header_layout::PatternCount + 4)
        return false;
    return ReadI32LE(header, header_layout::PatternCount) > 0;
}

// Raises the store's own "doesn't contain" message for the first missing
// required file, with the reason the folder is left alone.
[[noreturn]] void RefuseToReplace(const TTypedFolder& newFolder)
{
    TReferenceDatabase probe;
    probe.SetDatabaseName(newFolder.Text);
    try {
        probe.CheckDatabaseFiles();
    } catch (const Exception& missing) {
        throw Exception(std::string(missing.what()) +
                        " Its reference database holds patterns and is not replaced;"
                        " restore the missing file or choose another target folder.");
    }
    // Every required file exists after all (it appeared meanwhile).
    throw Exception(Format("Folder %s changed during the conversion; nothing was converted.",
                           newFolder.Text.c_str()));
}

} // namespace

std::string ImportCommentLine(const std::string& oldFolder)
{
    const std::string folder = LineBreaksAsBlanks(Utf8ToWindows1252(oldFolder));
    if (folder.size() <= 56)
        return "Imported from " + folder;
    if (folder.size() <= 65)
        return "From " + folder;
    return folder;
}

std::string NextUserCode(TReferenceDatabase& target)
{
    const std::int32_t userPatterns = target.UserPatternCount();
    if (userPatterns >= kMaxUserCodeNumber)
        throw Exception(NoUserCodeLeftMessage(target.DatabaseName(), userPatterns));
    return UserDisplayCode(userPatterns + 1);
}

std::int16_t RoundedIntensity(double intensity)
{
    return RoundHalfEvenClamped<std::int16_t>(intensity);
}

void AddConvertedLine(TReferencePattern& pattern, double d, std::int16_t intensity,
                      std::int16_t h, std::int16_t k, std::int16_t l)
{
    // A d-spacing beyond single precision (a damaged source) is clamped: the
    // conversion of such a double to float would be undefined.
    constexpr double kLargest = std::numeric_limits<float>::max();
    const double single = d != d ? d : std::clamp(d, -kLargest, kLargest);
    pattern.AddLine(static_cast<float>(single), intensity, h, k, l);
}

void FillConvertedPattern(TReferencePattern& pattern, const std::string& formula,
                          const std::string& name, const std::string& referenceCode,
                          std::int16_t status, const std::string& oldFolder)
{
    pattern.SetElements(ElementSet{});
    pattern.SetFormulaLine(formula);
    pattern.SetMineralName(name);
    pattern.SetReferenceCode(referenceCode);
    pattern.SetStatus(status);
    pattern.AddTextLine(TextList::Comments, ImportCommentLine(oldFolder));
}

namespace {

bool HoldsDatabase(const TTypedFolder& newFolder)
{
    return IsReferenceDatabaseFolder(newFolder);
}

} // namespace

std::unique_ptr<TReferenceDatabase> OpenOrCreateTargetDatabase(const std::string& newFolder,
                                                               std::optional<int> undoRun)
{
    return OpenOrCreateTargetDatabase(TTypedFolder(newFolder), undoRun);
}

std::unique_ptr<TReferenceDatabase> OpenOrCreateTargetDatabase(const TTypedFolder& newFolder,
                                                               std::optional<int> undoRun)
{
    const bool exists = HoldsDatabase(newFolder);
    CheckTargetCanBeWritten(newFolder, exists ? TargetUse::AddToDatabase : TargetUse::CreateDatabase);
    if (exists) {
        auto database = std::make_unique<TReferenceDatabase>();
        database->SetDatabaseName(newFolder.Text);
        database->SetReadOnly(false);
        database->Open();
        if (undoRun)
            database->KeepUndoPoint(*undoRun);
        return database;
    }
    CheckTargetCanBeCreated(newFolder);
    return TReferenceDatabase::CreateDatabase(newFolder.Text, "PDF2", undoRun);
}

void CheckTargetBeforeRun(const std::string& typed)
{
    const TTypedFolder newFolder(typed);
    const TDatabaseLock lock = TDatabaseLock::Exclusive(newFolder);
    const bool exists = HoldsDatabase(newFolder);
    CheckTargetCanBeWritten(newFolder, exists ? TargetUse::AddToDatabase : TargetUse::CreateDatabase);
    if (!exists)
        CheckTargetCanBeCreated(newFolder);
}

void CheckTargetCanBeCreated(const TTypedFolder& newFolder)
{
    if (HoldsStoredPatterns(newFolder.Path))
        RefuseToReplace(newFolder);
}

bool TargetHoldsCode(TReferenceDatabase& target, const std::string& code)
{
    try {
        const std::optional<std::int32_t> record = target.LookUpRecordNumber(code);
        if (!record)
            return false;
        const TReferencePattern& found = target.GetPattern(*record);
        static_cast<void>(found.GetMineralName());
        return true;
    } catch (const EConversionCancelled&) {
        throw;
    } catch (const Exception&) {
        return false;
    }
}

std::filesystem::path NormalisedFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::weakly_canonical(folder, error);
    if (error)
        path = std::filesystem::absolute(folder, error).lexically_normal();
    if (!path.has_filename() && path.has_relative_path())
        path = path.parent_path();
    return path;
}

namespace {

// True when the two paths lead to one folder: the platform's identity
// (device and inode, volume and file index) sees through links; the
// spelling decides for folders not made yet.
bool LeadToOneFolder(const std::filesystem::path& first, const std::filesystem::path& second)
{
    return SameFolder(first, second) || NormalisedFolder(first) == NormalisedFolder(second);
}

} // namespace

void RefuseSourceAsTarget(const std::string& oldFolder, const TTypedFolder& newFolder)
{
    if (LeadToOneFolder(PathFromText(oldFolder), newFolder.Path))
        throw Exception("Folder " + newFolder.Text + " is the folder of the old database (" + oldFolder +
                        "): a conversion does not write into the folder it reads. Choose another target "
                        "folder; nothing was changed.");
}

namespace {

// The new folder, once it is known not to be the old one.
const TTypedFolder& CheckedNewFolder(const std::string& oldFolder, const TTypedFolder& newFolder)
{
    RefuseSourceAsTarget(oldFolder, newFolder);
    return newFolder;
}

// Makes a folder that does not exist yet, so that it can be locked before
// anything is written into it.
void MakeTargetFolder(const TTypedFolder& newFolder)
{
    std::error_code error;
    std::filesystem::create_directories(newFolder.Path, error);
    std::error_code absent;
    if (error && std::filesystem::status(newFolder.Path, absent).type() == std::filesystem::file_type::not_found)
        throw EInOutError(FileErrorMessage("Cannot create folder", newFolder.Text,
                                           error.message() + "; choose a folder this user may create or write in"));
}

// How a run that raised ended, for the import log.
ImportOutcome OutcomeOf(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const EConversionCancelled&) {
        return ImportOutcome::Cancelled;
    } catch (...) {
        return ImportOutcome::Failed;
    }
}

} // namespace

TConversionTarget::TConversionTarget(const std::string& oldFolder, const std::string& newFolder,
                                     const ProgressCallback& progress, TConversionSummary* summary,
                                     SourceFormat format, const TResumePoint& resume)
    : newFolder_(newFolder),
      recorder_(CheckedNewFolder(oldFolder, newFolder_)),
      progress_(progress),
      summary_(summary != nullptr ? summary : &localSummary_),
      resume_(resume)
{
    *summary_ = TConversionSummary{};
    MakeTargetFolder(newFolder_);
    lock_ = TDatabaseLock::Exclusive(newFolder_);
    const bool created = !HoldsDatabase(newFolder_);
    summary_->CreatedDatabase = created;
    // The target's own refusals come before its import log is read.
    CheckTargetCanBeWritten(newFolder_, created ? TargetUse::CreateDatabase : TargetUse::AddToDatabase);
    recorder_.NoteStoppedRunBeforeOpen();
    // Undoing the run needs what it changes kept before its first change.
    database_ = OpenOrCreateTargetDatabase(newFolder_, recorder_.NextRunNumber());
    database_->SetProgressCallback(progress_);
    database_->SetRunObserver(&recorder_);
    UpdateTargetCount();
    recorder_.Begin(*database_, created, format, oldFolder, resume_);
}

TConversionTarget::~TConversionTarget()
{
    if (database_)
        database_->SetRunObserver(nullptr);
}

void TConversionTarget::SetEntryTotal(long total)
{
    summary_->EntriesTotal = total;
}

void TConversionTarget::ReportProgress(long entriesDone)
{
    summary_->EntriesDone = entriesDone;
    if (progress_)
        progress_(TProgress{TProgress::Stage::Converting, entriesDone, summary_->EntriesTotal});
}

void TConversionTarget::EntryStored(long entry, const std::string& name, const std::string& code, bool withoutLines)
{
    ++summary_->Added;
    UpdateTargetCount();
    if (withoutLines) {
        ++summary_->EntriesWithoutLines;
        summary_->EntriesWithoutPatternFile.push_back(name.empty() ? "entry " + std::to_string(entry)
                                                                   : ValidUtf8(name));
    }
    recorder_.Record({entry, ValidUtf8(name), code, withoutLines ? EntryResult::AddedWithoutLines : EntryResult::Added});
}

void TConversionTarget::EntrySkipped(long entry, const std::string& name, const std::string& code)
{
    ++summary_->Skipped;
    recorder_.Record({entry, ValidUtf8(name), code, EntryResult::AlreadyPresent});
}

bool TConversionTarget::PassOverStoredEntry(long entry, const std::string& name)
{
    if (passedOver_ >= resume_.StoredPatterns)
        return false;
    ++passedOver_;
    const std::string code =
        UserDisplayCode(static_cast<std::int32_t>(std::min<long>(resume_.UserPatternsBefore + passedOver_, kMaxUserCodeNumber)));
    recorder_.Record({entry, ValidUtf8(name), code, EntryResult::StoredBefore});
    return true;
}

void TConversionTarget::RecordMapping(TCodeMapping mapping)
{
    summary_->CodeMappings.push_back(std::move(mapping));
}

void TConversionTarget::Run(const std::function<void()>& work)
{
    try {
        work();
    } catch (...) {
        CloseAfterFailure(std::current_exception());
    }
    try {
        Finish();
    } catch (...) {
        recorder_.End(ImportOutcome::Failed, ExceptionMessage(std::current_exception()), *summary_, false);
        throw;
    }
    recorder_.End(ImportOutcome::Completed, {}, *summary_, true);
}

void TConversionTarget::Finish()
{
    UpdateTargetCount();
    // Closed here, not by the destructor, so that a failure to write is seen.
    database_->Close();
}

void TConversionTarget::CloseAfterFailure(std::exception_ptr failure)
{
    try {
        database_->Close();
    } catch (const std::exception& closing) {
        std::string message = ExceptionMessage(failure);
        message += (message.empty() || message.back() == '.' ? "" : ".");
        message += std::string(" Closing the database afterwards failed as well: ") + closing.what();
        recorder_.End(ImportOutcome::Failed, message, *summary_, false);
        throw Exception(message);
    }
    recorder_.End(OutcomeOf(failure), ExceptionMessage(failure), *summary_, true);
    std::rethrow_exception(failure);
}

void TConversionTarget::UpdateTargetCount()
{
    summary_->TargetPatternCount = database_->PatternCount();
}

} // namespace norrvik
