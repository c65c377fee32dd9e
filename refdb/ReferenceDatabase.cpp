// The target reference database, the façade over its parts (see
// ReferenceDatabase.h): its folder and lifecycle, opening and closing, the
// main data file and the lists. Patterns are read, looked up and added in
// PatternStore.cpp.
#include "refdb/ReferenceDatabase.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/SupportLists.h"
#include "refdb/UndoPoint.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace norrvik {

namespace {

std::string JoinTextLines(const std::vector<std::string>& lines)
{
    std::string content;
    for (const std::string& line : lines)
        content += line + "\r\n";
    return content;
}

std::vector<std::string> DefaultSubfileList()
{
    return {kSubfileTable.begin(), kSubfileTable.begin() + kDefaultSubfileCount};
}

} // namespace

// ---------------------------------------------------------------------------
// Lifecycle

void TReferenceDatabase::SetPatternsPerCommit(std::int32_t count)
{
    TDatabaseRun::SetPatternsPerCommit(count);
}

TReferenceDatabase::TReferenceDatabase()
{
    folder_.SetNameAsIs("Unknown");
    currentPattern_.SetDatabaseLink(this);
    ResetState();
}

TReferenceDatabase::~TReferenceDatabase()
{
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; callers that need to see a failed
        // close call Close() themselves first.
    }
    currentPattern_.SetDatabaseLink(nullptr);
}

std::unique_ptr<TReferenceDatabase> TReferenceDatabase::CreateDatabase(const std::string& folder,
                                                                       const std::string& title,
                                                                       std::optional<int> undoRun)
{
    auto database = std::make_unique<TReferenceDatabase>();
    database->ResetState();
    database->undoRun_ = undoRun;
    database->folder_.SetName(folder);
    database->folder_.Create(); // a folder that cannot be made fails at the first file below
    // The marker comes first: a creation that stops half-way is completed
    // as an empty database when the folder is opened next.
    database->readOnly_ = false;
    database->BeginRun(true, title);
    database->folder_.DeleteDatabaseFiles();
    database->folder_.RemoveLeftoverTemporaryFiles();
    database->WriteNewDatabaseFiles(title);
    return database;
}

void TReferenceDatabase::WriteNewDatabaseFiles(const std::string& title)
{
    dataFile_.Create(folder_.Path(kMainDataFileName), kPatternRecordSize);
    header_ = DatabaseHeader::NewDatabase(title);
    dataFile_.WriteRecord(0, header_.Record());
    dataFile_.Sync(); // the empty database's commit
    opened_ = true;
    for (std::string_view empty : {kCommentFileName, kLiteratureFileName, kCodesFileName,
                                   kStrongestLinesFileName})
        WriteWholeFile(folder_.Path(empty), {});
    indexes_.CreateEmptyTextIndexes();
    SaveDefaultSubfileList();
}

void TReferenceDatabase::ResetState()
{
    opened_ = false;
    oldRecordFormat_ = false;
    readOnly_ = true;
    referenceCodeIndex_.clear();
    currentPattern_.SetRecordNumber(0);
    header_.Clear();
    currentPattern_.Clear();
    indexes_.Reset();
    run_.Forget();
    filesFoundWritable_ = false;
    undoPointKept_ = false;
    folder_.Forget();
}

void TReferenceDatabase::SetDatabaseName(const std::string& folder)
{
    if (folder == folder_.Name())
        return;
    Close(); // a pending rebuild still writes to the old folder
    folder_.SetName(folder);
}

void TReferenceDatabase::SetReadOnly(bool value)
{
    if (value == readOnly_)
        return;
    readOnly_ = value;
    if (opened_) {
        Close();
        readOnly_ = value;
        Open();
    }
}

void TReferenceDatabase::CheckDatabaseFiles()
{
    folder_.CheckExists();
    for (const TDatabaseFileInfo& file : kDatabaseFiles)
        if (file.Required() && !FileExists(file.Name))
            throw Exception(Format("Folder %s doesn't contain %s.", folder_.Name().c_str(),
                                   std::string(file.MissingText).c_str()));
}

void TReferenceDatabase::Open()
{
    if (opened_)
        return;
    // A run of ours that stopped is restored to its last commit before
    // anything is looked up.
    if (!readOnly_ && run_.HasMarker())
        RecoverInterruptedRun();
    CheckDatabaseFiles();
    // Whatever temporary files a stopped run left go before this one writes.
    if (!readOnly_)
        folder_.RemoveLeftoverTemporaryFiles();
    opened_ = true;
    if (!codeIndexOnDemand_)
        indexes_.ReadTextIndex(referenceCodeIndex_, TextIndex::ReferenceCode);
    LoadCodeList();
    OpenMainDataFile();
    if (header_.PatternCount() > 0)
        LoadPattern(1);
    LoadSubfileList();
    CheckSubfiles();
    // Adding to indexes out of step would put every later pattern's entries
    // out of step for good; not having left them so, we do not rewrite them
    // unasked. (Nothing is ever added to a file of the older record format.)
    if (!readOnly_ && !oldRecordFormat_)
        RefuseIndexesOutOfStep();
}

void TReferenceDatabase::OpenForIndexRebuild()
{
    if (opened_)
        return;
    folder_.CheckExists();
    if (!FileExists(kMainDataFileName) && !run_.HasMarker())
        throw Exception(Format("Folder %s doesn't contain %s.", folder_.Name().c_str(),
                               std::string(kDatabaseFiles.front().MissingText).c_str()));
    readOnly_ = false;
    if (run_.HasMarker()) {
        TakeOverStoppedRun(); // the marker goes once the rebuild is committed
    } else {
        opened_ = true;
        OpenMainDataFile();
        folder_.RemoveLeftoverTemporaryFiles();
    }
    LoadListsForRebuild();
}

void TReferenceDatabase::LoadListsForRebuild()
{
    // Damaged lists do not stop a rebuild: the journal names come from
    // Codes.PDB when it reads, and the subfile list is not checked.
    try {
        LoadCodeList();
    } catch (const Exception&) {
        codeList_.clear();
    }
    try {
        LoadSubfileList();
    } catch (const Exception&) {
        subfileList_ = DefaultSubfileList();
    }
}

void TReferenceDatabase::RecoverInterruptedRun()
{
    std::exception_ptr failure;
    try {
        TakeOverStoppedRun();
        indexes_.SetRebuildPending();
        run_.Finish();
    } catch (...) {
        failure = std::current_exception();
    }
    CloseFiles(failure);
    ResetState();
    readOnly_ = false;
    if (failure)
        std::rethrow_exception(failure);
}

void TReferenceDatabase::TakeOverStoppedRun()
{
    DropUndoPoint(folder_);
    run_.RestoreLastCommit();
}

std::string_view TReferenceDatabase::FirstIndexOutOfStep() const
{
    const auto patterns = static_cast<std::uintmax_t>(std::max(header_.PatternCount(), 0));
    if (referenceCodeIndex_.size() != patterns)
        return TextIndexFileName(TextIndex::ReferenceCode);
    for (const TDatabaseFileInfo& file : kDatabaseFiles) {
        if (file.Role != DatabaseFileRole::BinaryIndex)
            continue;
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(folder_.Path(file.Name), error);
        if (error) {
            // CrystalIndex.PDB may be absent for good, Index.PDB only while empty.
            if (file.Name == kIndexFileName && patterns > 0)
                return file.Name;
            continue;
        }
        if (size != patterns * file.RecordSize)
            return file.Name;
    }
    return {};
}

void TReferenceDatabase::RefuseIndexesOutOfStep() const
{
    const std::string_view file = FirstIndexOutOfStep();
    if (file.empty())
        return;
    throw Exception(Format("The indexes of the database in folder %s are out of step with its %d patterns, "
                           "first %s. Repair them with \"norrvik-cli rebuild\" before adding patterns.",
                           folder_.Name().c_str(), header_.PatternCount(), std::string(file).c_str()));
}

void TReferenceDatabase::OpenMainDataFile()
{
    const std::filesystem::path file = folder_.Path(kMainDataFileName);
    const std::string path = PathText(file);
    dataFile_.Open(file, kPatternRecordSize, readOnly_);
    dataFile_.ReadRecord(0, header_.Record());
    // Negative counts (a damaged header) would make record positions before
    // the file's start.
    if (header_.PatternCount() < 0 || header_.UserPatternCount() < 0)
        throw EInOutError(FileErrorMessage("Cannot read file", path,
                                           Format("the header counts %d patterns and %d user patterns",
                                                  header_.PatternCount(), header_.UserPatternCount())));
    if (header_.IsOlderRecordFormat(path)) {
        dataFile_.Close();
        dataFile_.Open(file, kOldPatternRecordSize, readOnly_);
        oldRecordFormat_ = true;
    }
}

void TReferenceDatabase::LoadCodeList()
{
    // A folder without Codes.PDB has no journal codes: none are kept from a
    // database opened before.
    const std::optional<std::string> content = ReadWholeFile(folder_.Path(kCodesFileName));
    codeList_ = content ? SplitTextLines(*content) : std::vector<std::string>();
}

void TReferenceDatabase::LoadSubfileList()
{
    const std::optional<std::string> content = ReadWholeFile(folder_.Path(kSubfilesFileName));
    subfileList_ = content ? SplitTextLines(*content) : DefaultSubfileList();
}

void TReferenceDatabase::SaveDefaultSubfileList()
{
    subfileList_ = DefaultSubfileList();
    WriteWholeFile(folder_.Path(kSubfilesFileName), JoinTextLines(subfileList_));
}

void TReferenceDatabase::CheckSubfiles()
{
    if (FirstWrongSubfileLine(subfileList_))
        throw Exception("Incorrect entry in the file with subfiles.");
}

void TReferenceDatabase::Close()
{
    if (!opened_)
        return;
    std::exception_ptr failure;
    if (run_.Marked()) {
        try {
            run_.Finish();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    CloseFiles(failure);
    ResetState();
    if (failure)
        std::rethrow_exception(failure);
}

void TReferenceDatabase::CloseFiles(std::exception_ptr& failure)
{
    textLines_.Close(failure);
    try {
        dataFile_.Close();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    indexes_.CloseFiles(failure);
}

std::int32_t TReferenceDatabase::PatternCount()
{
    Open();
    return header_.PatternCount();
}

std::int32_t TReferenceDatabase::UserPatternCount()
{
    Open();
    return header_.UserPatternCount();
}

int TReferenceDatabase::SubfileCount()
{
    Open();
    return static_cast<int>(subfileList_.size());
}

std::string TReferenceDatabase::Version()
{
    Open();
    return header_.Version();
}

std::string TReferenceDatabase::Title()
{
    Open();
    return header_.Title();
}

bool TReferenceDatabase::HasReadOnlyFiles()
{
    return !ReadOnlyFiles(true).empty();
}

std::vector<std::string> TReferenceDatabase::ReadOnlyFiles(bool firstOnly) const
{
    std::vector<std::string> files;
    const TDatabaseFolder folder(folder_.Name());
    for (std::string_view name : kReferenceDatabaseFileNames) {
        // Looked at without following a link: a link, like anything but a
        // writable regular file, is a file the run may not write.
        const auto path = folder.Path(name);
        if (KindOfFile(path) == FileKind::Missing || WhyFileMayNotBeWritten(path))
            files.emplace_back(name);
        if (firstOnly && !files.empty())
            break;
    }
    return files;
}

void TReferenceDatabase::DeleteDatabaseFiles(const std::string& folderWithDelimiter)
{
    TDatabaseFolder(folderWithDelimiter).DeleteDatabaseFiles();
}

void TReferenceDatabase::SetOnIndexPatternMsg(std::function<void(const std::string&)> handler)
{
    indexes_.SetOnIndexPatternMsg(std::move(handler));
}

void TReferenceDatabase::SetProgressCallback(ProgressCallback callback)
{
    indexes_.SetProgressCallback(std::move(callback));
}

void TReferenceDatabase::SetPreferences(const TPreferencesForReferenceDatabase* preferences)
{
    preferences_ = preferences;
}

} // namespace norrvik
