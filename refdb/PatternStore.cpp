// The target reference database's patterns: read by record number, looked up
// by reference code, and added (their text lines, their record, their index
// work); and the steps the store's run asks of its files (see DatabaseRun.h).
#include "refdb/ReferenceDatabase.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/Recovery.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/SupportLists.h"
#include "refdb/UndoPoint.h"

#include <algorithm>
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
           ". " + std::string(MakeFilesWritableAdvice()) +
           ", restore a missing one, or choose another target folder.";
}

// Whole line records of a text-line file, 0 when it is missing.
std::int64_t TextLineRecords(const std::filesystem::path& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size / kTextLineSize);
}

} // namespace

// ---------------------------------------------------------------------------
// Text lines and journal names, as the patterns ask for them

void TReferenceDatabase::ReadTextLines(TextSideFile side, std::int32_t first, std::vector<std::string>& lines,
                                       std::int32_t count)
{
    if (count <= 0 || first < 0) {
        lines.clear();
        return;
    }
    textLines_.Read(side, first, count, lines);
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

TReferencePattern& TReferenceDatabase::LoadStoredPattern(std::int32_t n)
{
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
    indexes_.ApplyPendingIndexWork();
    indexes_.ReadTextIndex(referenceCodeIndex_, TextIndex::ReferenceCode);
}

// ---------------------------------------------------------------------------
// Adding patterns

void TReferenceDatabase::CheckPatternCanBeWritten(const TReferencePattern& pattern)
{
    // The file's name is looked up only for a refusal: this runs per pattern.
    const auto refuse = [this](const char* reason) {
        throw EInOutError(FileErrorMessage("Cannot add a pattern to", FilePath(kMainDataFileName), reason));
    };
    if (oldRecordFormat_)
        refuse("the file has the older record format");
    if (dataFile_.IsReadOnly())
        refuse("the database is open for reading only");
    if (header_.PatternCount() >= std::numeric_limits<std::int32_t>::max() - 1 ||
        dataFile_.RecordCount() <= header_.PatternCount())
        refuse(("the file holds fewer records than its header counts" + std::string(kRepairWithRecover)).c_str());
    if (pattern.IsUserPattern() && pattern.GetReferenceCode().empty() &&
        header_.UserPatternCount() >= kMaxUserCodeNumber)
        throw Exception(NoUserCodeLeftMessage(folder_.Name(), header_.UserPatternCount()));
}

void TReferenceDatabase::BeginRun(bool newDatabase, const std::string& title)
{
    if (run_.Marked())
        return;
    if (readOnly_)
        throw EInOutError(FileErrorMessage("Cannot write file", FilePath(kMainDataFileName),
                                           "the database is open for reading only"));
    TRunStart start;
    start.NewDatabase = newDatabase;
    start.Title = title;
    if (!newDatabase) {
        start.Patterns = header_.PatternCount();
        start.CommentLines = TextLineRecords(folder_.Path(kCommentFileName));
        start.LiteratureLines = TextLineRecords(folder_.Path(kLiteratureFileName));
    }
    run_.Begin(start);
    // After the marker and before the first change (see UndoPoint.h).
    if (undoRun_) {
        MakeUndoPoint(folder_, *undoRun_, start);
        undoRun_.reset();
        undoPointKept_ = true;
    } else {
        DropUndoPoint(folder_);
    }
}

void TReferenceDatabase::WriteTextLinesOf(TReferencePattern& pattern)
{
    pattern.SetTextRange(TextList::CodedComments,
                         textLines_.Write(TextSideFile::Comment, pattern.GetCodedComments()));
    pattern.SetTextRange(TextList::Comments, textLines_.Write(TextSideFile::Comment, pattern.GetComments()));
    pattern.SetTextRange(TextList::References,
                         textLines_.Write(TextSideFile::Literature, pattern.GetReferences()));
    pattern.SetTextRange(TextList::SupplementLines,
                         textLines_.Write(TextSideFile::Literature, pattern.GetSupplementLines()));
}

void TReferenceDatabase::WritePatternRecord(TReferencePattern& pattern, bool deriveFields)
{
    Open();
    // Every check that can refuse the pattern comes before anything is written.
    CheckPatternCanBeWritten(pattern);
    const std::int32_t patternCount = header_.PatternCount() + 1;
    const std::int32_t userPatternCount = header_.UserPatternCount() + (pattern.IsUserPattern() ? 1 : 0);

    BeginRun(false, {});

    if (deriveFields) {
        pattern.SetElements(ElementSet{});
        pattern.SetElementsFromFormula(pattern.GetFormulaLine());
        pattern.SetElementsFromFormula(pattern.GetFirstFormula());
        pattern.SetElementsFromFormula(pattern.GetSecondFormula());
        pattern.SortLinesByD();
    }
    WriteTextLinesOf(pattern);

    currentPattern_.Assign(pattern);
    currentPattern_.SetDatabaseLink(this);
    if (currentPattern_.IsUserPattern() && currentPattern_.GetReferenceCode().empty())
        currentPattern_.SetReferenceCode(UserStoredCode(userPatternCount));
    if (deriveFields)
        currentPattern_.UpdateMaxIntensity();
    currentPattern_.SetRecordNumber(patternCount);

    // The record goes in after its text lines, at the place the header's
    // count gives; the header on the disk counts it from the next commit on
    // (see DatabaseRun.h). A record that fails is overwritten by the next.
    try {
        dataFile_.WriteRecord(patternCount, currentPattern_.Record());
    } catch (...) {
        currentPattern_.Clear();
        currentPattern_.SetRecordNumber(0);
        throw;
    }
    header_.SetCounts(patternCount, userPatternCount);
    run_.PatternWritten();
}

void TReferenceDatabase::AppendPattern(TReferencePattern& pattern)
{
    WritePatternRecord(pattern, true);
    indexes_.SetRebuildPending();
}

void TReferenceDatabase::RefuseReadOnlyFiles()
{
    if (filesFoundWritable_)
        return;
    if (HasReadOnlyFiles())
        throw Exception(ReadOnlyFilesMessage(folder_.Name(), ReadOnlyFiles(false)));
    filesFoundWritable_ = true;
}

void TReferenceDatabase::AddPattern(TReferencePattern& pattern)
{
    RefuseReadOnlyFiles();
    pattern.SetStatus(static_cast<std::int16_t>(pattern.GetStatus() | kUserPatternStatus));
    WritePatternRecord(pattern, true);
    indexes_.AddPattern(currentPattern_, currentPattern_.GetRecordNumber(), header_.PatternCount());
}

void TReferenceDatabase::CopyPattern(TReferencePattern& pattern)
{
    if (!pattern.IsUserPattern()) {
        WritePatternRecord(pattern, false);
        indexes_.SetRebuildPending();
        return;
    }
    RefuseReadOnlyFiles();
    WritePatternRecord(pattern, false);
    indexes_.AddPattern(currentPattern_, currentPattern_.GetRecordNumber(), header_.PatternCount());
}

// ---------------------------------------------------------------------------
// The indexes

void TReferenceDatabase::RebuildIndexes()
{
    Open();
    BeginRun(false, {});
    // Pending until it is complete (see TIndexMaintenance::Rebuild).
    indexes_.SetRebuildPending();
    if (FileExists(kCodesFileName))
        LoadCodeList();
    indexes_.Rebuild(*this);
}

void TReferenceDatabase::SortTextIndexes()
{
    indexes_.SortTextIndexes();
}

void TReferenceDatabase::SortTextIndex(const std::string& fileName)
{
    indexes_.SortTextIndex(fileName);
}

void TReferenceDatabase::WriteHeldTextIndexes()
{
    indexes_.WriteHeldTextIndexes();
}

// ---------------------------------------------------------------------------
// The run's steps on the store's files

void TReferenceDatabase::SyncPatternFiles()
{
    textLines_.Sync();
    dataFile_.Sync();
}

void TReferenceDatabase::StartPatternWriteback()
{
    textLines_.StartWriteback();
    dataFile_.StartWriteback();
}

void TReferenceDatabase::WriteHeader()
{
    // Nothing is ever written to a main data file of the older record format.
    if (oldRecordFormat_)
        return;
    dataFile_.WriteRecord(0, header_.Record());
    dataFile_.Sync();
}

void TReferenceDatabase::CommitIndexes()
{
    if (indexes_.RebuildPending())
        RebuildIndexes();
    else
        indexes_.WriteHeldTextIndexes();
    indexes_.SyncAppendedFiles();
}

void TReferenceDatabase::SealRun()
{
    if (undoPointKept_)
        SealUndoPoint(folder_);
    undoPointKept_ = false;
}

void TReferenceDatabase::CompleteNewDatabase(const std::string& title)
{
    const auto mainPath = folder_.Path(kMainDataFileName);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(mainPath, error);
    if (error || size < kPatternRecordSize) {
        TRecordFile file;
        file.Create(mainPath, kPatternRecordSize);
        file.WriteRecord(0, DatabaseHeader::NewDatabase(title).Record());
        file.Close();
    }
    for (std::string_view empty : {kCommentFileName, kLiteratureFileName, kCodesFileName})
        if (!FileExists(empty))
            WriteWholeFile(folder_.Path(empty), {});
    if (!FileExists(kSubfilesFileName))
        SaveDefaultSubfileList();
}

void TReferenceDatabase::CutToLastCommit(const std::optional<TRunStart>& start)
{
    opened_ = true;
    OpenMainDataFile();
    const std::int64_t records = static_cast<std::int64_t>(header_.PatternCount()) + 1;
    if (dataFile_.RecordCount() < records)
        throw EInOutError(FileErrorMessage(
            "Cannot read file", dataFile_.FileText(),
            Format("the header counts %d patterns but the file holds only %lld", header_.PatternCount(),
                   static_cast<long long>(dataFile_.RecordCount() - 1)) +
                std::string(kRepairWithRecover)));
    dataFile_.Truncate(records);
    CutTextLineFiles(start);
}

void TReferenceDatabase::CutTextLineFiles(const std::optional<TRunStart>& start)
{
    if (!start)
        return; // without the lengths at the start, no line is known to be the run's own
    // The run's committed patterns are the last ones; patterns before the run
    // keep the lines below the length the files had when it started.
    std::array<std::int64_t, 2> keep = {start->CommentLines, start->LiteratureLines};
    for (std::int32_t n = std::max(start->Patterns, 0) + 1; n <= header_.PatternCount(); ++n) {
        LoadPattern(n);
        for (TextList list : kAllTextLists) {
            const TextRange range = currentPattern_.GetTextRange(list);
            if (range.IsEmpty())
                continue;
            std::int64_t& end = keep[TTextLineFiles::Slot(SideFileOf(list))];
            end = std::max(end, static_cast<std::int64_t>(range.First) + range.Count);
        }
    }
    textLines_.CutTo(keep);
}

} // namespace norrvik
