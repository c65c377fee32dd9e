// The import log: its lines as JSON, read back into runs, and appended
// durably (see ImportLog.h).
#include "convert/ImportLog.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Platform.h"
#include "common/Text.h"
#include "convert/ConversionSupport.h"
#include "refdb/DatabaseFiles.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <map>
#include <system_error>
#include <utility>

namespace norrvik {

namespace {

constexpr std::array<std::pair<ImportOutcome, std::string_view>, 4> kOutcomeNames = {{
    {ImportOutcome::Completed, "completed"},
    {ImportOutcome::Cancelled, "cancelled"},
    {ImportOutcome::Failed, "failed"},
    {ImportOutcome::Interrupted, "interrupted"},
}};

constexpr std::array<std::pair<EntryResult, std::string_view>, 4> kResultNames = {{
    {EntryResult::Added, "added"},
    {EntryResult::AddedWithoutLines, "added without lines"},
    {EntryResult::AlreadyPresent, "already present"},
    {EntryResult::StoredBefore, "stored before"},
}};

template <typename Value, std::size_t N>
std::string_view NameIn(const std::array<std::pair<Value, std::string_view>, N>& table, Value value)
{
    for (const auto& [each, name] : table)
        if (each == value)
            return name;
    return table.back().second;
}

template <typename Value, std::size_t N>
std::optional<Value> ValueIn(const std::array<std::pair<Value, std::string_view>, N>& table, std::string_view name)
{
    for (const auto& [each, eachName] : table)
        if (eachName == name)
            return each;
    return std::nullopt;
}

std::filesystem::path LogPath(const std::filesystem::path& folder)
{
    return folder / PathFromText(kImportLogFileName);
}

template <typename Value>
void Take(const nlohmann::json& line, const char* key, Value& value)
{
    if (const auto found = line.find(key); found != line.end() && !found->is_null())
        value = found->get<Value>();
}

void ReadBegin(const nlohmann::json& line, TImportRun& run)
{
    Take(line, "time", run.Time);
    Take(line, "version", run.Version);
    Take(line, "format", run.Format);
    Take(line, "source", run.Source.AsGiven);
    Take(line, "source_path", run.Source.Path);
    Take(line, "source_identity", run.Source.Identity);
    Take(line, "new_database", run.NewDatabase);
    Take(line, "patterns_before", run.PatternsBefore);
    Take(line, "user_patterns_before", run.UserPatternsBefore);
    Take(line, "finishes", run.Finishes);
}

void ReadEnd(const nlohmann::json& line, TImportRun& run)
{
    std::string outcome;
    Take(line, "outcome", outcome);
    run.Outcome = ValueIn(kOutcomeNames, outcome).value_or(ImportOutcome::Failed);
    Take(line, "time", run.EndTime);
    Take(line, "message", run.Message);
    Take(line, "entries_total", run.EntriesTotal);
    Take(line, "entries_done", run.EntriesDone);
    Take(line, "added", run.Added);
    Take(line, "skipped", run.Skipped);
    Take(line, "without_lines", run.WithoutLines);
    Take(line, "patterns_after", run.PatternsAfter);
}

void ReadEntry(const nlohmann::json& line, TImportRun& run)
{
    if (line.value("result", "").rfind("added", 0) == 0)
        ++run.EntriesStored;
    TImportEntry entry;
    std::string result;
    Take(line, "entry", entry.Entry);
    Take(line, "name", entry.Name);
    Take(line, "code", entry.Code);
    Take(line, "result", result);
    entry.Result = ValueIn(kResultNames, result).value_or(EntryResult::Added);
    run.Entries.push_back(std::move(entry));
}

// One line into the run it belongs to; a "begin" line starts a run.
void ReadLine(const nlohmann::json& line, std::vector<TImportRun>& runs, std::map<int, std::size_t>& places)
{
    const int number = line.value("run", 0);
    const std::string event = line.value("event", "");
    if (number <= 0)
        return;
    if (event == "begin") {
        places[number] = runs.size();
        runs.emplace_back().Number = number;
        ReadBegin(line, runs.back());
        return;
    }
    const auto place = places.find(number);
    if (place == places.end())
        return;
    TImportRun& run = runs[place->second];
    if (event == "entry")
        ReadEntry(line, run);
    else if (event == "end")
        ReadEnd(line, run);
    else if (event == "restored")
        run.RestoredPatterns = line.value("patterns", 0L);
    else if (event == "undone")
        run.Undone = true;
}

std::string UtcTimeText()
{
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long long>(time.hours().count()), static_cast<long long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()));
    return text;
}

using OrderedJson = nlohmann::ordered_json;

OrderedJson BeginJson(const TImportRun& run)
{
    return {{"run", run.Number},
            {"event", "begin"},
            {"time", run.Time.empty() ? UtcTimeText() : run.Time},
            {"version", run.Version},
            {"format", run.Format},
            {"source", run.Source.AsGiven},
            {"source_path", run.Source.Path},
            {"source_identity", run.Source.Identity},
            {"new_database", run.NewDatabase},
            {"patterns_before", run.PatternsBefore},
            {"user_patterns_before", run.UserPatternsBefore},
            {"finishes", run.Finishes}};
}

OrderedJson EndJson(const TImportRun& run)
{
    OrderedJson json{{"run", run.Number},
                        {"event", "end"},
                        {"time", run.EndTime.empty() ? UtcTimeText() : run.EndTime},
                        {"outcome", ImportOutcomeName(run.Outcome)},
                        {"entries_total", run.EntriesTotal},
                        {"entries_done", run.EntriesDone},
                        {"added", run.Added},
                        {"skipped", run.Skipped},
                        {"without_lines", run.WithoutLines},
                        {"patterns_after", run.PatternsAfter}};
    if (!run.Message.empty())
        json["message"] = run.Message;
    return json;
}

// A line of the log: the JSON on one line (texts that are not valid UTF-8,
// such as 8-bit names of an old database, are written with replacement
// characters rather than refused).
std::string LogLine(const OrderedJson& json)
{
    return json.dump(-1, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}

// A JSON string of a valid UTF-8 text, appended.
void AppendJsonString(std::string& out, std::string_view text)
{
    constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

// An entry line, written by hand: a conversion of a reference database
// writes one per pattern, a hundred thousand and more.
void AppendEntryLine(std::string& out, int run, const TImportEntry& entry)
{
    out += "{\"run\":" + std::to_string(run) + ",\"event\":\"entry\",\"entry\":" + std::to_string(entry.Entry) +
           ",\"name\":";
    AppendJsonString(out, ValidUtf8(entry.Name));
    out += ",\"code\":";
    AppendJsonString(out, ValidUtf8(entry.Code));
    out += ",\"result\":\"";
    out += EntryResultName(entry.Result);
    out += "\"}\n";
}

} // namespace

std::string_view ImportOutcomeName(ImportOutcome outcome)
{
    return NameIn(kOutcomeNames, outcome);
}

std::string_view EntryResultName(EntryResult result)
{
    return NameIn(kResultNames, result);
}

TImportSource DescribeImportSource(const std::string& folder)
{
    TImportSource source;
    source.AsGiven = folder;
    const std::filesystem::path path = PathFromText(folder);
    source.Path = PathText(NormalisedFolder(path));
    if (const std::optional<TFolderIdentity> identity = IdentityOfFolder(path))
        source.Identity = std::to_string(identity->Volume) + ":" + std::to_string(identity->File);
    return source;
}

bool SameImportSource(const TImportSource& first, const TImportSource& second)
{
    if (!first.Identity.empty() && first.Identity == second.Identity)
        return true;
    return !first.Path.empty() && first.Path == second.Path;
}

namespace {

// An entry line as this program writes it: its run, and whether it stored
// a pattern, read without parsing the line (nothing for any other line).
std::optional<std::pair<int, bool>> QuickEntryLine(std::string_view line)
{
    constexpr std::string_view kStart = "{\"run\":";
    constexpr std::string_view kEvent = ",\"event\":\"entry\",";
    if (line.substr(0, kStart.size()) != kStart)
        return std::nullopt;
    int run = 0;
    const auto [end, error] = std::from_chars(line.data() + kStart.size(), line.data() + line.size(), run);
    const std::size_t at = static_cast<std::size_t>(end - line.data());
    if (error != std::errc() || line.substr(at, kEvent.size()) != kEvent)
        return std::nullopt;
    const bool stored = line.ends_with("\"result\":\"added\"}") ||
                        line.ends_with("\"result\":\"added without lines\"}");
    return std::pair{run, stored};
}

} // namespace

std::vector<TImportRun> ReadImportLog(const std::filesystem::path& folder, LogDetail detail)
{
    const std::optional<std::string> text = ReadWholeRegularFile(LogPath(folder));
    std::vector<TImportRun> runs;
    if (!text)
        return runs;
    std::map<int, std::size_t> places;
    std::size_t start = 0;
    while (start < text->size()) {
        const std::size_t end = text->find('\n', start);
        if (end == std::string::npos)
            break; // a torn last line
        const std::string_view text_line(text->data() + start, end - start);
        start = end + 1;
        if (detail == LogDetail::Runs) {
            if (const auto entry = QuickEntryLine(text_line)) {
                if (const auto place = places.find(entry->first); place != places.end() && entry->second)
                    ++runs[place->second].EntriesStored;
                continue;
            }
        }
        const nlohmann::json line = nlohmann::json::parse(text_line.begin(), text_line.end(), nullptr, false);
        if (line.is_object())
            ReadLine(line, runs, places);
    }
    return runs;
}

std::vector<TImportRun> CurrentImportRuns(const std::vector<TImportRun>& runs)
{
    auto first = runs.begin();
    for (auto run = runs.begin(); run != runs.end(); ++run)
        if (run->NewDatabase)
            first = run;
    std::vector<TImportRun> current;
    std::copy_if(first, runs.end(), std::back_inserter(current), [](const TImportRun& run) { return !run.Undone; });
    return current;
}

TImportLogWriter::TImportLogWriter(std::filesystem::path folder) : path_(LogPath(folder)) {}

int TImportLogWriter::NextRunNumber() const
{
    const std::vector<TImportRun> runs = ReadImportLog(path_.parent_path(), LogDetail::Runs);
    int last = 0;
    for (const TImportRun& run : runs)
        last = std::max(last, run.Number);
    return last + 1;
}

void TImportLogWriter::WriteBegin(const TImportRun& run)
{
    AppendLines(LogLine(BeginJson(run)));
}

void TImportLogWriter::WriteEntries(int run, const std::vector<TImportEntry>& entries)
{
    if (entries.empty())
        return;
    entryLines_.clear();
    for (const TImportEntry& entry : entries)
        AppendEntryLine(entryLines_, run, entry);
    AppendLines(entryLines_);
}

void TImportLogWriter::WriteEnd(const TImportRun& run)
{
    AppendLines(LogLine(EndJson(run)));
}

void TImportLogWriter::WriteRestored(int run, long patterns)
{
    AppendLines(LogLine({{"run", run}, {"event", "restored"}, {"time", UtcTimeText()}, {"patterns", patterns}}));
}

void TImportLogWriter::WriteUndone(int run)
{
    AppendLines(LogLine({{"run", run}, {"event", "undone"}, {"time", UtcTimeText()}}));
}

void TImportLogWriter::AppendLines(const std::string& lines)
{
    const bool created = KindOfFile(path_) == FileKind::Missing;
    TFileHandle file = TFileHandle::Open(path_, FileOpening::CreateOrOpen);
    std::uint64_t end = file.Size();
    std::string text = lines;
    if (end > 0) {
        // A line torn by a stop is closed off, so that it stays one bad line.
        std::array<std::uint8_t, 1> last{};
        file.ReadAt(end - 1, MutableBytes(last));
        if (last[0] != '\n')
            text.insert(text.begin(), '\n');
    }
    file.WriteAt(end, BytesOf(text));
    file.Sync();
    file.Close();
    if (created)
        SyncFolder(path_.parent_path());
}

} // namespace norrvik
