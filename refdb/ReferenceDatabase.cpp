// The target reference database: its folder and lifecycle, the main data file
// and the two text-line files, pattern look-up, and adding patterns.
#include "refdb/ReferenceDatabase.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/SupportLists.h"
#include "refdb/ReferenceCodes.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <system_error>

namespace norrvik {

namespace {

// The store's own text, then which files and what to do about them.
std::string ReadOnlyFilesMessage(const std::string& folder, const std::vector<std::string>& files)
{
    std::string names;
    for (const std::string& name : files)
        names += (names.empty() ? "" : ", ") + name;
    return "One or more database files have the Read-only attribute set: " + names + " in " +
           IncludeTrailingPathDelimiter(folder) +
           ". Make them writable (for example chmod u+w), restore a missing one, or choose another target folder.";
}

// The order in which a new database writes its empty text indexes.
constexpr std::array<TextIndex, TextIndexCount> kCreateTextIndexOrder = {
    TextIndex::Name,    TextIndex::MineralName, TextIndex::Formula,      TextIndex::Color,
    TextIndex::Journal, TextIndex::Author,      TextIndex::ReferenceCode};

std::string JoinTextLines(const std::vector<std::string>& lines)
{
    std::string content;
    for (const std::string& line : lines)
        content += line + "\r\n";
    return content;
}

std::vector<std::string> DefaultSubfileList()
{
    return {SubfileTable.begin(), SubfileTable.begin() + kDefaultSubfileCount};
}

} // namespace

// ---------------------------------------------------------------------------
// Lifecycle

TReferenceDatabase::TReferenceDatabase() : databaseName_("Unknown")
{
    commentFile_.FileName = kCommentFileName;
    literatureFile_.FileName = kLiteratureFileName;
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
                                                                       const std::string& title)
{
    const std::string name = IncludeTrailingPathDelimiter(folder);
    auto database = std::make_unique<TReferenceDatabase>();
    database->ResetState();
    database->databaseName_ = name;
    std::error_code ignored; // a folder that cannot be made fails at the first file below
    std::filesystem::create_directories(PathFromText(name), ignored);
    // The marker comes first: a creation that stops half-way is completed
    // as an empty database when the folder is opened next.
    database->readOnly_ = false;
    database->BeginRun(true, title);
    DeleteDatabaseFiles(name);

    database->dataFile_.Create(PathFromText(database->FilePath(kMainDataFileName)), kPatternRecordSize);
    database->header_ = DatabaseHeader::NewDatabase(title);
    database->dataFile_.WriteRecord(0, database->header_.Record());
    database->dataFile_.Sync(); // the empty database's commit
    database->opened_ = true;

    for (std::string_view empty : {kCommentFileName, kLiteratureFileName, kCodesFileName,
                                   StrongestLinesFileName})
        WriteWholeFile(PathFromText(database->FilePath(empty)), {});
    for (TextIndex index : kCreateTextIndexOrder) {
        database->WriteTextIndex({}, TextIndexFileName(index));
        database->textIndexCache_.Set(index, {});
    }
    database->indexRebuildPending_ = true;
    database->SaveDefaultSubfileList();
    return database;
}

void TReferenceDatabase::ResetState()
{
    opened_ = false;
    indexRebuildPending_ = false;
    oldRecordFormat_ = false;
    readOnly_ = true;
    referenceCodeIndex_.clear();
    currentPattern_.SetRecordNumber(0);
    header_.Clear();
    currentPattern_.Clear();
    textIndexCache_.Clear();
    pendingTextEntries_.Clear();
    runMarked_ = false;
    uncommittedPatterns_ = 0;
    filesFoundWritable_ = false;
}

std::string TReferenceDatabase::FilePath(std::string_view fileName) const
{
    return databaseName_ + std::string(fileName);
}

bool TReferenceDatabase::FileExists(std::string_view fileName) const
{
    // Anything holding the name counts: a link or a pipe there is refused
    // when the file is opened, never replaced by a new file.
    return KindOfFile(PathFromText(FilePath(fileName))) != FileKind::Missing;
}

void TReferenceDatabase::SetDatabaseName(const std::string& folder)
{
    if (folder == databaseName_)
        return;
    Close(); // a pending rebuild still writes to the old folder
    databaseName_ = IncludeTrailingPathDelimiter(folder);
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

void TReferenceDatabase::CheckFolderExists() const
{
    std::error_code error;
    if (!std::filesystem::is_directory(PathFromText(databaseName_), error)) {
        ThrowIfPathTooLong(PathFromText(databaseName_), databaseName_);
        throw Exception(Format("Folder %s doesn't exist.", databaseName_.c_str()));
    }
}

void TReferenceDatabase::CheckDatabaseFiles()
{
    CheckFolderExists();
    for (const DatabaseFileInfo& file : kDatabaseFiles)
        if (file.Required() && !FileExists(file.Name))
            throw Exception(Format("Folder %s doesn't contain %s.", databaseName_.c_str(),
                                   std::string(file.MissingText).c_str()));
}

void TReferenceDatabase::Open()
{
    if (opened_)
        return;
    // A run of ours that stopped is restored to its last commit before
    // anything is looked up.
    if (!readOnly_ && HasRunMarker())
        RecoverInterruptedRun();
    CheckDatabaseFiles();
    opened_ = true;
    if (!codeIndexOnDemand_)
        ReadIndexFile(referenceCodeIndex_, TextIndex::ReferenceCode);
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
    CheckFolderExists();
    if (!FileExists(kMainDataFileName) && !HasRunMarker())
        throw Exception(Format("Folder %s doesn't contain %s.", databaseName_.c_str(),
                               std::string(kDatabaseFiles.front().MissingText).c_str()));
    readOnly_ = false;
    if (HasRunMarker()) {
        RestoreCommittedState();
        runMarked_ = true; // the marker goes once the rebuild is committed
    } else {
        opened_ = true;
        OpenMainDataFile();
        RemoveLeftoverTemporaryFiles();
    }
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

std::string_view TReferenceDatabase::FirstIndexOutOfStep() const
{
    const auto patterns = static_cast<std::uintmax_t>(std::max(header_.PatternCount(), 0));
    if (referenceCodeIndex_.size() != patterns)
        return TextIndexFileName(TextIndex::ReferenceCode);
    for (const DatabaseFileInfo& file : kDatabaseFiles) {
        if (file.Role != DatabaseFileRole::BinaryIndex)
            continue;
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(PathFromText(FilePath(file.Name)), error);
        if (error) {
            // CrystalIndex.PDB may be absent for good, Index.PDB only while empty.
            if (file.Name == IndexFileName && patterns > 0)
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
                           databaseName_.c_str(), header_.PatternCount(), std::string(file).c_str()));
}

void TReferenceDatabase::OpenMainDataFile()
{
    const std::string path = FilePath(kMainDataFileName);
    dataFile_.Open(PathFromText(path), kPatternRecordSize, readOnly_);
    dataFile_.ReadRecord(0, header_.Record());
    // Negative counts (a damaged header) would make record positions before
    // the file's start.
    if (header_.PatternCount() < 0 || header_.UserPatternCount() < 0)
        throw EInOutError(FileErrorMessage("Cannot read file", path,
                                           Format("the header counts %d patterns and %d user patterns",
                                                  header_.PatternCount(), header_.UserPatternCount())));
    if (header_.IsOlderRecordFormat(path)) {
        dataFile_.Close();
        dataFile_.Open(PathFromText(path), kOldPatternRecordSize, readOnly_);
        oldRecordFormat_ = true;
    }
}

void TReferenceDatabase::LoadCodeList()
{
    // A folder without Codes.PDB has no journal codes: none are kept from a
    // database opened before.
    const std::optional<std::string> content = ReadWholeFile(PathFromText(FilePath(kCodesFileName)));
    codeList_ = content ? SplitTextLines(*content) : std::vector<std::string>();
}

void TReferenceDatabase::LoadSubfileList()
{
    const std::optional<std::string> content = ReadWholeFile(PathFromText(FilePath(kSubfilesFileName)));
    subfileList_ = content ? SplitTextLines(*content) : DefaultSubfileList();
}

void TReferenceDatabase::SaveDefaultSubfileList()
{
    subfileList_ = DefaultSubfileList();
    WriteWholeFile(PathFromText(FilePath(kSubfilesFileName)), JoinTextLines(subfileList_));
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
    if (runMarked_) {
        try {
            FinishRun();
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
    std::vector<TRecordFile*> files = {&commentFile_.File, &literatureFile_.File, &dataFile_};
    for (TRecordFile& file : binaryIndexFiles_)
        files.push_back(&file);
    for (TRecordFile* file : files) {
        try {
            file->Close();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
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
    const std::string folder = IncludeTrailingPathDelimiter(databaseName_);
    for (std::string_view name : ReferenceDatabaseFileNames) {
        // Looked at without following a link: a link, like anything but a
        // writable regular file, is a file the run may not write.
        const auto path = PathFromText(folder + std::string(name));
        if (KindOfFile(path) == FileKind::Missing || WhyFileMayNotBeWritten(path))
            files.emplace_back(name);
        if (firstOnly && !files.empty())
            break;
    }
    return files;
}

void TReferenceDatabase::DeleteDatabaseFiles(const std::string& folderWithDelimiter)
{
    for (const DatabaseFileInfo& file : kDatabaseFiles) {
        std::error_code ignored; // a file that cannot be deleted is passed over
        std::filesystem::remove(PathFromText(folderWithDelimiter + std::string(file.Name)), ignored);
    }
}

void TReferenceDatabase::SetOnIndexPatternMsg(std::function<void(const std::string&)> handler)
{
    onIndexPatternMsg_ = std::move(handler);
}

void TReferenceDatabase::SetProgressCallback(ProgressCallback callback)
{
    progress_ = std::move(callback);
}

void TReferenceDatabase::SetPreferences(const TPreferencesForReferenceDatabase* preferences)
{
    preferences_ = preferences;
}

// ---------------------------------------------------------------------------
// Text-line files

TReferenceDatabase::TStringFile& TReferenceDatabase::StringFileFor(TextSideFile file)
{
    return file == TextSideFile::Comment ? commentFile_ : literatureFile_;
}

void TReferenceDatabase::OpenStringFile(TStringFile& file)
{
    if (file.File.IsOpen())
        return;
    const auto path = PathFromText(FilePath(file.FileName));
    if (FileExists(file.FileName))
        file.File.Open(path, kTextLineSize, readOnly_);
    else
        file.File.Create(path, kTextLineSize);
}

TextRange TReferenceDatabase::WriteTextLines(TStringFile& file, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return {};
    OpenStringFile(file);
    const std::int64_t first = file.File.RecordCount();
    if (lines.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()) ||
        first + static_cast<std::int64_t>(lines.size()) > std::numeric_limits<std::int32_t>::max())
        throw EInOutError(FileErrorMessage("Cannot add text lines to", file.File.FileText(),
                                           "too many lines for a pattern's text range"));
    std::array<std::uint8_t, kTextLineSize> record;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        record.fill(' ');
        const std::size_t length = std::min(lines[i].size(), kTextLineSize);
        std::copy_n(lines[i].begin(), length, record.begin());
        file.File.WriteRecord(first + static_cast<std::int64_t>(i), record);
    }
    return {static_cast<std::int32_t>(first), static_cast<std::int16_t>(lines.size())};
}

void TReferenceDatabase::ReadTextLines(TextSideFile side, std::int32_t first,
                                       std::vector<std::string>& lines, std::int32_t count)
{
    if (count <= 0 || first < 0) {
        lines.clear();
        return;
    }
    TStringFile& file = StringFileFor(side);
    // A database opened for reading is never changed: a missing side file
    // holds no lines and is not created.
    if (!file.File.IsOpen() && readOnly_ && !FileExists(file.FileName))
        return;
    OpenStringFile(file);
    const std::int64_t end = std::min<std::int64_t>(static_cast<std::int64_t>(first) + count,
                                                    file.File.RecordCount());
    std::array<std::uint8_t, kTextLineSize> record;
    for (std::int64_t n = first; n < end; ++n) {
        file.File.ReadRecord(n, record);
        lines.push_back(TrimRight(std::string_view(reinterpret_cast<const char*>(record.data()),
                                                   record.size())));
    }
}

std::string TReferenceDatabase::JournalName(const std::string& code)
{
    return JournalNameInCodeList(codeList_, code);
}

// ---------------------------------------------------------------------------
// Patterns by record number and by reference code

TReferencePattern& TReferenceDatabase::GetPattern(std::int32_t n)
{
    if (n != currentPattern_.GetRecordNumber() || n <= 0)
        LoadPattern(n);
    return currentPattern_;
}

void TReferenceDatabase::LoadPattern(std::int32_t n)
{
    // Record number 0 names no pattern, also while nothing is current.
    if (n > 0 && n == currentPattern_.GetRecordNumber())
        return;
    Open();
    if (n <= 0 || n > header_.PatternCount())
        throw Exception("Invalid index");
    currentPattern_.Clear();
    if (oldRecordFormat_) {
        OldPatternRecord old{};
        dataFile_.ReadRecord(n, old);
        try {
            currentPattern_.Record() = ConvertOldPatternRecord(old);
        } catch (const EConvertError& error) {
            // Say which file and record hold the bad code.
            throw EConvertError(FileErrorMessage("Cannot read file", dataFile_.FileText(),
                                                 Format("record %d: %s", static_cast<int>(n), error.what())));
        }
    } else {
        dataFile_.ReadRecord(n, currentPattern_.Record());
    }
    currentPattern_.SetDatabaseLink(this);
    currentPattern_.SetPreferences(preferences_);
}

TReferencePattern& TReferenceDatabase::FindPattern(const std::string& code)
{
    return GetPattern(FindRecordNumber(code));
}

std::int32_t TReferenceDatabase::FindRecordNumber(const std::string& code)
{
    if (const std::optional<std::int32_t> record = LookUpRecordNumber(code))
        return *record;
    std::int32_t position = 0;
    return FindInIndex(referenceCodeIndex_, position, StoredCodeFromDisplayCode(code)); // raises the error
}

std::optional<std::int32_t> TReferenceDatabase::LookUpRecordNumber(const std::string& code)
{
    NORRVIK_ASSERT(code.size() == kStoredCodeLength || code.size() == kDisplayCodeLength,
                   "Length of the reference code should be 9 or 11 (with 2 \"-\")");
    const std::string key = StoredCodeFromDisplayCode(code);
    Open();
    LoadReferenceCodeIndex();
    const std::optional<std::size_t> position = FindIndexPosition(referenceCodeIndex_, key);
    if (!position)
        return std::nullopt;
    return referenceCodeIndex_[*position].RecordNumber;
}

void TReferenceDatabase::LoadReferenceCodeIndex()
{
    if (!referenceCodeIndex_.empty())
        return;
    // Index work left to the rebuild is done now, so that the index file
    // holds what it would hold had every pattern updated it at once.
    ApplyPendingIndexWork();
    ReadIndexFile(referenceCodeIndex_, TextIndex::ReferenceCode);
}

void TReferenceDatabase::ReadIndexFile(TIndexes& entries, TextIndex index)
{
    if (!entries.empty())
        return;
    if (textIndexCache_.Holds(index)) {
        entries = textIndexCache_.Entries(index);
        return;
    }
    const std::string path = FilePath(TextIndexFileName(index));
    const std::optional<std::string> content = ReadWholeFile(PathFromText(path));
    if (!content)
        return;
    entries = ParseTextIndex(*content, path);
    if (FormatTextIndex(entries) == *content)
        textIndexCache_.Set(index, entries);
}

// ---------------------------------------------------------------------------
// Adding patterns

void TReferenceDatabase::CheckPatternCanBeWritten(const TReferencePattern& pattern)
{
    const std::string path = FilePath(kMainDataFileName);
    if (oldRecordFormat_)
        throw EInOutError(FileErrorMessage("Cannot add a pattern to", path,
                                           "the file has the older record format"));
    if (dataFile_.IsReadOnly())
        throw EInOutError(FileErrorMessage("Cannot add a pattern to", path,
                                           "the database is open for reading only"));
    if (header_.PatternCount() >= std::numeric_limits<std::int32_t>::max() - 1 ||
        dataFile_.RecordCount() <= header_.PatternCount())
        throw EInOutError(FileErrorMessage("Cannot add a pattern to", path,
                                           "the file holds fewer records than its header counts"));
    if (pattern.IsUserPattern() && pattern.GetReferenceCode().empty() &&
        header_.UserPatternCount() >= kMaxUserCodeNumber)
        throw Exception(NoUserCodeLeftMessage(header_.UserPatternCount()));
}

void TReferenceDatabase::WritePatternRecord(TReferencePattern& pattern)
{
    Open();
    // Every check that can refuse the pattern comes before anything is written.
    CheckPatternCanBeWritten(pattern);
    const std::int32_t patternCount = header_.PatternCount() + 1;
    const std::int32_t userPatternCount = header_.UserPatternCount() + (pattern.IsUserPattern() ? 1 : 0);

    BeginRun(false, {});

    pattern.SetElements(ElementSet{});
    pattern.SetElementsFromFormula(pattern.GetFormulaLine());
    pattern.SetElementsFromFormula(pattern.GetFirstFormula());
    pattern.SetElementsFromFormula(pattern.GetSecondFormula());
    pattern.SortLinesByD();

    pattern.SetTextRange(TextList::CodedComments, WriteTextLines(commentFile_, pattern.GetCodedComments()));
    pattern.SetTextRange(TextList::Comments, WriteTextLines(commentFile_, pattern.GetComments()));
    pattern.SetTextRange(TextList::References, WriteTextLines(literatureFile_, pattern.GetReferences()));
    pattern.SetTextRange(TextList::SupplementLines,
                         WriteTextLines(literatureFile_, pattern.GetSupplementLines()));

    currentPattern_.Assign(pattern);
    currentPattern_.SetDatabaseLink(this);
    if (currentPattern_.IsUserPattern() && currentPattern_.GetReferenceCode().empty())
        currentPattern_.SetReferenceCode(UserStoredCode(userPatternCount));
    currentPattern_.UpdateMaxIntensity();
    currentPattern_.SetRecordNumber(patternCount);

    // The record goes in after its text lines, at the place the header's
    // count gives; the header on the disk counts it from the next commit on
    // (see the file comment). A record that fails is overwritten by the next.
    try {
        dataFile_.WriteRecord(patternCount, currentPattern_.Record());
    } catch (...) {
        currentPattern_.Clear();
        currentPattern_.SetRecordNumber(0);
        throw;
    }
    header_.SetCounts(patternCount, userPatternCount);
    PatternWritten();
}

void TReferenceDatabase::AppendPattern(TReferencePattern& pattern)
{
    WritePatternRecord(pattern);
    indexRebuildPending_ = true;
}

void TReferenceDatabase::AddPattern(TReferencePattern& pattern)
{
    if (!filesFoundWritable_) {
        if (HasReadOnlyFiles())
            throw Exception(ReadOnlyFilesMessage(databaseName_, ReadOnlyFiles(false)));
        filesFoundWritable_ = true;
    }
    pattern.SetStatus(static_cast<std::int16_t>(pattern.GetStatus() | kUserPatternStatus));
    WritePatternRecord(pattern);
    PendingIndexWork work = CollectIndexWork();
    if (indexRebuildPending_) {
        // A pending rebuild rewrites every index file from the main data file
        // at Close, so no binary record is appended; the text index work is
        // kept and done only if a text index is needed before that (a
        // look-up, a sort).
        pendingTextEntries_.Add(work.RecordNumber, work.Texts);
        return;
    }
    ApplyIndexWork(work);
}

TReferenceDatabase::PendingIndexWork TReferenceDatabase::CollectIndexWork()
{
    PendingIndexWork work;
    work.RecordNumber = currentPattern_.GetRecordNumber();
    work.PatternCount = header_.PatternCount();
    for (TextIndex index : AddPatternTextIndexOrder)
        work.Texts[TextIndexSlot(index)] = AddedIndexTexts(index, currentPattern_);
    if (!indexRebuildPending_) {
        work.Index = MakeIndexRecord(currentPattern_);
        work.Crystal = MakeCrystalIndexRecord(currentPattern_);
    } else if (currentPattern_.LinesStrictlyDescendingByD()) {
        // The rebuild makes the binary records; the sorts below would leave
        // the lines as they are.
        return work;
    }
    // Made in any case: its sorts leave the held pattern's lines in the
    // order the next look-up of this record sees.
    work.StrongestLines = MakeStrongestLinesRecord(currentPattern_);
    currentPattern_.SortLinesByD();
    return work;
}

void TReferenceDatabase::ApplyPendingIndexWork()
{
    TPendingTextEntries pending = std::move(pendingTextEntries_);
    pendingTextEntries_.Clear();
    pending.ForEach([this](std::int32_t recordNumber, TPendingTextEntries::Texts texts) {
        PendingIndexWork work;
        work.RecordNumber = recordNumber;
        work.Texts = std::move(texts);
        AppendTextIndexEntries(work);
        SortTextIndexesInMemory();
    });
}

void TReferenceDatabase::ApplyIndexWork(const PendingIndexWork& work)
{
    // After a failure here the held entries stay as the file steps would
    // have left the files (appended, not yet sorted) and are written at Close.
    AppendTextIndexEntries(work);
    AppendIndexRecords(work);
    SortTextIndexesInMemory();
}

void TReferenceDatabase::AppendTextIndexEntries(const PendingIndexWork& work)
{
    for (TextIndex index : AddPatternTextIndexOrder)
        AppendIndexEntries(index, work.RecordNumber, work.Texts[TextIndexSlot(index)]);
}

void TReferenceDatabase::AppendIndexRecords(const PendingIndexWork& work)
{
    AppendIndexRecord(0, work.Index);
    if (binaryIndexFiles_[1].IsOpen() || FileExists(kAppendedIndexFiles[1]) || work.PatternCount < 2)
        AppendIndexRecord(1, work.Crystal);
    AppendIndexRecord(2, work.StrongestLines);
}

void TReferenceDatabase::AppendIndexEntries(TextIndex index, std::int32_t recordNumber,
                                            const std::vector<std::string>& values)
{
    // In memory only when every entry provably reads back from the file as
    // it is appended, and the file is known to hold exactly the held entries.
    std::vector<TIndexedString> readBack;
    bool inMemory = true;
    for (const std::string& value : values) {
        if (Trim(value).empty())
            continue; // nothing is written for it either way
        std::optional<TIndexedString> entry = ReadBackIndexEntry(recordNumber, value);
        if (!entry)
            inMemory = false;
        else
            readBack.push_back(std::move(*entry));
    }
    if (readBack.empty() && inMemory)
        return;
    if (inMemory && HoldTextIndex(index)) {
        textIndexCache_.Append(index, std::move(readBack));
        return;
    }
    // The steps on the file itself, after the file holds what is held.
    WriteHeldTextIndex(index);
    textIndexCache_.Forget(index);
    for (const std::string& value : values)
        AppendIndexEntry(index, recordNumber, value);
}

bool TReferenceDatabase::HoldTextIndex(TextIndex index)
{
    if (textIndexCache_.Holds(index))
        return true;
    const std::string path = FilePath(TextIndexFileName(index));
    if (const std::optional<std::string> content = ReadWholeFile(PathFromText(path)))
        if (std::optional<TIndexes> entries = ParseExactTextIndex(*content, path))
            textIndexCache_.Set(index, std::move(*entries));
    return textIndexCache_.Holds(index);
}

void TReferenceDatabase::AppendIndexEntry(TextIndex index, std::int32_t recordNumber,
                                          const std::string& value)
{
    AppendIndexEntryToFile(PathFromText(FilePath(TextIndexFileName(index))), recordNumber, value);
}

void TReferenceDatabase::AppendIndexRecord(std::size_t slot, ConstBytes record)
{
    TRecordFile& file = binaryIndexFiles_[slot];
    if (!file.IsOpen()) {
        const std::string_view fileName = kAppendedIndexFiles[slot];
        const auto path = PathFromText(FilePath(fileName));
        if (FileExists(fileName))
            file.Open(path, record.size(), readOnly_);
        else
            file.Create(path, record.size());
    }
    file.WriteRecord(file.RecordCount(), record);
}

void TReferenceDatabase::CloseBinaryIndexFiles()
{
    for (TRecordFile& file : binaryIndexFiles_)
        file.Close();
}

} // namespace norrvik
