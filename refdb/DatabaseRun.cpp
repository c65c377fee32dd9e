// A run of this program that changes the target database: its marker, its
// commits and the restoring of a stopped run (see DatabaseRun.h).
#include "refdb/DatabaseRun.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/RecordFile.h"

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

std::int32_t patternsPerCommit = TDatabaseRun::kPatternsPerCommit;

} // namespace

std::string RunStartText(const TRunStart& start)
{
    return Format("new-database %d\n", start.NewDatabase ? 1 : 0) +
           Format("patterns %d\n", static_cast<int>(start.Patterns)) +
           Format("comment-lines %lld\n", static_cast<long long>(start.CommentLines)) +
           Format("literature-lines %lld\n", static_cast<long long>(start.LiteratureLines)) + "title " +
           start.Title + "\n";
}

std::optional<TRunStart> ParseRunStart(std::string_view text)
{
    TRunStart start;
    int newDatabase = 0;
    if (!ParseMarkerNumber(text, "new-database", newDatabase) || !ParseMarkerNumber(text, "patterns", start.Patterns) ||
        !ParseMarkerNumber(text, "comment-lines", start.CommentLines) ||
        !ParseMarkerNumber(text, "literature-lines", start.LiteratureLines))
        return std::nullopt;
    start.NewDatabase = newDatabase != 0;
    start.Title = std::string(MarkerValue(text, "title").value_or("PDF2"));
    return start;
}

void TDatabaseRun::SetPatternsPerCommit(std::int32_t count)
{
    patternsPerCommit = std::max(count, 1);
}

std::int32_t TDatabaseRun::PatternsPerCommit()
{
    return patternsPerCommit;
}

TDatabaseRun::TDatabaseRun(const TDatabaseFolder& folder, TRunFiles& files) : folder_(folder), files_(files) {}

bool TDatabaseRun::HasMarker() const
{
    return folder_.Exists(kRunMarkerFileName);
}

std::optional<TRunStart> TDatabaseRun::ReadMarker() const
{
    std::optional<std::string> text;
    try {
        text = ReadWholeFile(folder_.Path(kRunMarkerFileName));
    } catch (const Exception&) {
        return std::nullopt; // an unreadable marker is treated as a garbled one
    }
    return text ? ParseRunStart(*text) : std::nullopt;
}

void TDatabaseRun::Begin(const TRunStart& start)
{
    if (marked_)
        return;
    WriteMarker(folder_, start);
    marked_ = true;
    if (observer_)
        observer_->RunBegun(start);
}

void TDatabaseRun::WriteMarker(const TDatabaseFolder& folder, const TRunStart& start)
{
    const std::string text = std::string(kMarkerFirstLine) + "\n" + RunStartText(start);
    const auto path = folder.Path(kRunMarkerFileName);
    try {
        TRecordFile marker;
        marker.Create(path, 1);
        marker.WriteAt(0, ConstBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        marker.Sync();
        marker.Close();
        folder.Sync();
    } catch (...) {
        std::error_code ignored; // a half-written marker would only make the next open guess
        std::filesystem::remove(path, ignored);
        throw;
    }
}

void TDatabaseRun::RemoveMarker(const TDatabaseFolder& folder)
{
    const std::filesystem::path marker = folder.Path(kRunMarkerFileName);
    std::error_code error;
    std::filesystem::remove(marker, error);
    if (error)
        throw EInOutError(FileErrorMessage("Cannot remove file", PathText(marker), error.message()));
    folder.Forget();
    folder.Sync();
}

void TDatabaseRun::PatternWritten()
{
    // Patterns between two head starts of the disk writes: the system writes
    // them while the run goes on, so that the commit's fsync waits for little.
    constexpr std::int32_t kPatternsPerWriteback = 256;
    if (++uncommittedPatterns_ >= PatternsPerCommit())
        Commit();
    else if (uncommittedPatterns_ % kPatternsPerWriteback == 0)
        files_.StartPatternWriteback();
}

void TDatabaseRun::Commit()
{
    files_.SyncPatternFiles();
    // Files the run created or replaced are there for good only with the
    // folder on the disk.
    folder_.Sync();
    files_.WriteHeader();
    uncommittedPatterns_ = 0;
    if (observer_)
        observer_->PatternsCommitted();
}

void TDatabaseRun::Finish()
{
    files_.SyncPatternFiles();
    files_.CommitIndexes();
    files_.WriteHeader();
    folder_.Sync();
    files_.SealRun();
    RemoveMarker(folder_);
    marked_ = false;
    uncommittedPatterns_ = 0;
    if (observer_)
        observer_->RunFinished();
}

void TDatabaseRun::RestoreLastCommit()
{
    const std::optional<TRunStart> start = ReadMarker();
    // Only a creation leaves our marker without a main data file (also when
    // the marker itself was cut short).
    if (start ? start->NewDatabase : !folder_.Exists(kMainDataFileName))
        files_.CompleteNewDatabase(start ? start->Title : "PDF2");
    files_.CutToLastCommit(start);
    folder_.RemoveLeftoverTemporaryFiles();
    marked_ = true;
    if (observer_)
        observer_->RunRestored(start);
}

void TDatabaseRun::Forget()
{
    marked_ = false;
    uncommittedPatterns_ = 0;
}

} // namespace norrvik
