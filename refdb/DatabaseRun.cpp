// A run of this program that changes the target database: the marker that
// says a run is in progress, the group commits and the final commit, and the
// recovery of a run that stopped half-way (the protocol is described in
// ReferenceDatabase.h).
#include "refdb/ReferenceDatabase.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/Recovery.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace norrvik {

namespace {

constexpr std::string_view kMarkerFirstLine =
    "A conversion run is writing this database. If no run is, the next one recovers it.";

// The value of the line "<key> <value>" of the marker, or nothing.
std::optional<std::string_view> MarkerValue(std::string_view text, std::string_view key)
{
    std::size_t position = 0;
    std::string_view line;
    while (NextTextLine(text, position, line))
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ' ')
            return line.substr(key.size() + 1);
    return std::nullopt;
}

template <typename Number>
bool ParseMarkerNumber(std::string_view text, std::string_view key, Number& value)
{
    const std::optional<std::string_view> field = MarkerValue(text, key);
    if (!field)
        return false;
    const auto result = std::from_chars(field->data(), field->data() + field->size(), value);
    return result.ec == std::errc() && result.ptr == field->data() + field->size() && value >= 0;
}

// Whole line records of a text-line file, 0 when it is missing.
std::int64_t TextLineRecords(const std::filesystem::path& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::int64_t>(size / kTextLineSize);
}

// True for a temporary file the whole-file replacement leaves behind when it
// is stopped: "<database file>.new" or "<database file>.<random>.new".
bool IsLeftoverTemporaryFile(std::string_view name)
{
    if (!name.ends_with(".new"))
        return false;
    return std::any_of(kDatabaseFiles.begin(), kDatabaseFiles.end(), [name](const DatabaseFileInfo& file) {
        return name.size() > file.Name.size() + 1 && name.starts_with(file.Name) && name[file.Name.size()] == '.';
    });
}

std::int32_t patternsPerCommit = TReferenceDatabase::kPatternsPerCommit;

} // namespace

void TReferenceDatabase::SetPatternsPerCommit(std::int32_t count)
{
    patternsPerCommit = std::max(count, 1);
}

std::int32_t TReferenceDatabase::PatternsPerCommit()
{
    return patternsPerCommit;
}

bool TReferenceDatabase::HasRunMarker() const
{
    return FileExists(kRunMarkerFileName);
}

std::string TReferenceDatabase::RunMarkerText(const RunStart& start) const
{
    return std::string(kMarkerFirstLine) + "\n" + Format("new-database %d\n", start.NewDatabase ? 1 : 0) +
           Format("patterns %d\n", static_cast<int>(start.Patterns)) +
           Format("comment-lines %lld\n", static_cast<long long>(start.CommentLines)) +
           Format("literature-lines %lld\n", static_cast<long long>(start.LiteratureLines)) + "title " +
           start.Title + "\n";
}

std::optional<TReferenceDatabase::RunStart> TReferenceDatabase::ReadRunMarker() const
{
    std::optional<std::string> text;
    try {
        text = ReadWholeFile(PathFromText(FilePath(kRunMarkerFileName)));
    } catch (const Exception&) {
        return std::nullopt; // an unreadable marker is treated as a garbled one
    }
    RunStart start;
    int newDatabase = 0;
    if (!text || !ParseMarkerNumber(*text, "new-database", newDatabase) ||
        !ParseMarkerNumber(*text, "patterns", start.Patterns) ||
        !ParseMarkerNumber(*text, "comment-lines", start.CommentLines) ||
        !ParseMarkerNumber(*text, "literature-lines", start.LiteratureLines))
        return std::nullopt;
    start.NewDatabase = newDatabase != 0;
    start.Title = std::string(MarkerValue(*text, "title").value_or("PDF2"));
    return start;
}

void TReferenceDatabase::BeginRun(bool newDatabase, const std::string& title)
{
    if (runMarked_)
        return;
    if (readOnly_)
        throw EInOutError(FileErrorMessage("Cannot write file", FilePath(kMainDataFileName),
                                           "the database is open for reading only"));
    RunStart start;
    start.NewDatabase = newDatabase;
    start.Title = title;
    if (!newDatabase) {
        start.Patterns = header_.PatternCount();
        start.CommentLines = TextLineRecords(PathFromText(FilePath(kCommentFileName)));
        start.LiteratureLines = TextLineRecords(PathFromText(FilePath(kLiteratureFileName)));
    }
    const std::string text = RunMarkerText(start);
    const auto path = PathFromText(FilePath(kRunMarkerFileName));
    try {
        TRecordFile marker;
        marker.Create(path, 1);
        marker.WriteAt(0, ConstBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        marker.Sync();
        marker.Close();
        SyncFolder(PathFromText(databaseName_));
    } catch (...) {
        std::error_code ignored; // a half-written marker would only make the next open guess
        std::filesystem::remove(path, ignored);
        throw;
    }
    runMarked_ = true;
}

void TReferenceDatabase::PatternWritten()
{
    // Patterns between two head starts of the disk writes: the system writes
    // them while the run goes on, so that the commit's fsync waits for little.
    constexpr std::int32_t kPatternsPerWriteback = 256;
    if (++uncommittedPatterns_ >= PatternsPerCommit()) {
        CommitPatterns();
    } else if (uncommittedPatterns_ % kPatternsPerWriteback == 0) {
        for (TStringFile* file : {&commentFile_, &literatureFile_})
            if (file->File.IsOpen())
                file->File.StartWriteback();
        dataFile_.StartWriteback();
    }
}

void TReferenceDatabase::CommitPatterns()
{
    for (TStringFile* file : {&commentFile_, &literatureFile_})
        if (file->File.IsOpen())
            file->File.Sync();
    dataFile_.Sync();
    // Files the run created or replaced are there for good only with the
    // folder on the disk.
    SyncFolder(PathFromText(databaseName_));
    dataFile_.WriteRecord(0, header_.Record());
    dataFile_.Sync();
    uncommittedPatterns_ = 0;
}

void TReferenceDatabase::FinishRun()
{
    for (TStringFile* file : {&commentFile_, &literatureFile_})
        if (file->File.IsOpen())
            file->File.Sync();
    dataFile_.Sync();
    if (indexRebuildPending_)
        RebuildIndexes();
    else
        WriteHeldTextIndexes();
    SyncFilesOfRun();
    // Nothing is ever written to a main data file of the older record format.
    if (!oldRecordFormat_) {
        dataFile_.WriteRecord(0, header_.Record());
        dataFile_.Sync();
    }
    const auto folder = PathFromText(databaseName_);
    SyncFolder(folder);
    std::error_code error;
    std::filesystem::remove(PathFromText(FilePath(kRunMarkerFileName)), error);
    if (error)
        throw EInOutError(FileErrorMessage("Cannot remove file", FilePath(kRunMarkerFileName), error.message()));
    SyncFolder(folder);
    runMarked_ = false;
    uncommittedPatterns_ = 0;
}

void TReferenceDatabase::SyncFilesOfRun()
{
    // The binary indexes are the only files a run changes in place without
    // putting them on the disk itself: whole-file replacements are durable,
    // and the text-line and main data files are synced by the commit. Only
    // the run's appends change them, through the files it keeps open.
    for (TRecordFile& file : binaryIndexFiles_)
        if (file.IsOpen())
            file.Sync();
}

void TReferenceDatabase::RecoverInterruptedRun()
{
    std::exception_ptr failure;
    try {
        RestoreCommittedState();
        runMarked_ = true;
        indexRebuildPending_ = true;
        FinishRun();
    } catch (...) {
        failure = std::current_exception();
    }
    CloseFiles(failure);
    ResetState();
    readOnly_ = false;
    if (failure)
        std::rethrow_exception(failure);
}

void TReferenceDatabase::RestoreCommittedState()
{
    const std::optional<RunStart> start = ReadRunMarker();
    // Only a creation leaves our marker without a main data file (also when
    // the marker itself was cut short).
    if (start ? start->NewDatabase : !FileExists(kMainDataFileName))
        CompleteNewDatabaseFiles(start.value_or(RunStart{true, 0, 0, 0, "PDF2"}));
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
    RemoveLeftoverTemporaryFiles();
}

void TReferenceDatabase::CompleteNewDatabaseFiles(const RunStart& start)
{
    const auto mainPath = PathFromText(FilePath(kMainDataFileName));
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(mainPath, error);
    if (error || size < kPatternRecordSize) {
        TRecordFile file;
        file.Create(mainPath, kPatternRecordSize);
        file.WriteRecord(0, DatabaseHeader::NewDatabase(start.Title).Record());
        file.Close();
    }
    for (std::string_view empty : {kCommentFileName, kLiteratureFileName, kCodesFileName})
        if (!FileExists(empty))
            WriteWholeFile(PathFromText(FilePath(empty)), {});
    if (!FileExists(kSubfilesFileName))
        SaveDefaultSubfileList();
}

void TReferenceDatabase::CutTextLineFiles(const std::optional<RunStart>& start)
{
    if (!start)
        return; // without the lengths at the start, no line is known to be the run's own
    // The run's committed patterns are the last ones; patterns before the run
    // keep the lines below the length the files had when it started.
    std::array<std::int64_t, 2> keep = {start->CommentLines, start->LiteratureLines};
    for (std::int32_t n = std::max(start->Patterns, 0) + 1; n <= header_.PatternCount(); ++n) {
        LoadPattern(n);
        for (TextList list : AllTextLists) {
            const TextRange range = currentPattern_.GetTextRange(list);
            if (range.IsEmpty())
                continue;
            std::int64_t& end = keep[SideFileOf(list) == TextSideFile::Comment ? 0 : 1];
            end = std::max(end, static_cast<std::int64_t>(range.First) + range.Count);
        }
    }
    for (TStringFile* file : {&commentFile_, &literatureFile_}) {
        if (!FileExists(file->FileName))
            continue;
        const std::int64_t lines = keep[file == &commentFile_ ? 0 : 1];
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(PathFromText(FilePath(file->FileName)), error);
        if (!error && size > static_cast<std::uintmax_t>(lines) * kTextLineSize) {
            OpenStringFile(*file);
            file->File.Truncate(lines);
        }
    }
}

void TReferenceDatabase::RemoveLeftoverTemporaryFiles()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromText(databaseName_), error)) {
        std::error_code ignored; // one that cannot be removed does no harm
        if (entry.is_regular_file(ignored) && IsLeftoverTemporaryFile(PathText(entry.path().filename())))
            std::filesystem::remove(entry.path(), ignored);
    }
}

} // namespace norrvik
