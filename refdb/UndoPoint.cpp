// The undo point of the last run and the undo (see UndoPoint.h).
#include "refdb/UndoPoint.h"

#include "common/ByteOrder.h"
#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Platform.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/DatabaseHeader.h"
#include "refdb/DatabaseLock.h"
#include "refdb/DatabaseRun.h"
#include "refdb/RecordFile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <vector>

namespace norrvik {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kManifestName = "manifest";
constexpr std::string_view kSealName = "sealed";
constexpr std::string_view kKeptSuffix = ".kept";
constexpr std::string_view kManifestFirstLine =
    "What undoing the last conversion run into this database needs (norrvik-cli undo).";
// Files up to this size are hashed whole by the seal; larger ones (the index
// files of a large database) by their first and last bytes.
constexpr std::uint64_t kHashedWholeUpTo = 1 << 20;
constexpr std::uint64_t kHashedEnds = 64 * 1024;
constexpr std::size_t kCopyBlock = 1 << 20;

enum class KeptAs { Absent, Copy, Cut };

// How one database file goes back (see UndoPoint.h).
struct TKeptFile {
    std::string Name; // as in kDatabaseFiles
    KeptAs Way = KeptAs::Absent;
    std::uint64_t Length = 0; // Cut: the file's length before the run
    std::uint64_t Head = 0;   // Cut: bytes kept from the start (the main file's header)
    std::uint64_t From = 0;   // Cut: where the kept tail starts
};

struct TManifest {
    int Run = 0;
    TRunStart Start;
    std::vector<TKeptFile> Files;
};

TDatabaseFolder UndoFolder(const TDatabaseFolder& folder)
{
    return TDatabaseFolder(PathText(folder.Path(kUndoFolderName)));
}

ConstBytes BytesOf(std::string_view text)
{
    return ConstBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string ReadBytes(const TFileHandle& file, std::uint64_t offset, std::uint64_t count)
{
    std::string bytes(count, '\0');
    file.ReadAt(offset, MutableBytes(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
    return bytes;
}

// A file a run appends to (the main file's header aside), when the run adds
// to a database that exists.
bool AppendedByRun(const TDatabaseFileInfo& info, const TRunStart& start)
{
    return !start.NewDatabase && (info.Role == DatabaseFileRole::MainData || info.Role == DatabaseFileRole::TextLines);
}

TKeptFile KeepFile(const TDatabaseFolder& folder, const TDatabaseFolder& undo, const TDatabaseFileInfo& info,
                   const TRunStart& start)
{
    TKeptFile kept{std::string(info.Name)};
    if (!folder.Exists(info.Name))
        return kept;
    const fs::path path = folder.Path(info.Name);
    if (!AppendedByRun(info, start)) {
        CopyFileDurably(path, undo.Path(info.Name));
        kept.Way = KeptAs::Copy;
        return kept;
    }
    // The run writes records from the end of the last whole one (of the
    // main file: from the end of those its header counts) and the header.
    TFileHandle file = TFileHandle::Open(path, FileOpening::Read);
    kept.Way = KeptAs::Cut;
    kept.Length = file.Size();
    const bool main = info.Role == DatabaseFileRole::MainData;
    const std::uint64_t records = main ? static_cast<std::uint64_t>(start.Patterns) + 1 : kept.Length / info.RecordSize;
    kept.Head = main ? std::min<std::uint64_t>(info.RecordSize, kept.Length) : 0;
    kept.From = std::clamp<std::uint64_t>(records * info.RecordSize, kept.Head, kept.Length);
    const std::string bytes = ReadBytes(file, 0, kept.Head) + ReadBytes(file, kept.From, kept.Length - kept.From);
    file.Close();
    WriteWholeFile(undo.Path(kept.Name + std::string(kKeptSuffix)), bytes);
    return kept;
}

std::string ManifestText(int run, const TRunStart& start, const std::vector<TKeptFile>& files)
{
    std::string text = std::string(kManifestFirstLine) + "\n" + Format("run %d\n", run) + RunStartText(start);
    for (const TKeptFile& file : files) {
        if (file.Way == KeptAs::Cut)
            text += Format("cut %llu %llu %llu ", static_cast<unsigned long long>(file.Length),
                           static_cast<unsigned long long>(file.Head), static_cast<unsigned long long>(file.From));
        else
            text += file.Way == KeptAs::Copy ? "copy " : "absent ";
        text += file.Name + "\n";
    }
    return text;
}

// The next number of a manifest line, which a space follows.
bool TakeNumber(std::string_view& rest, std::uint64_t& value)
{
    const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (result.ec != std::errc() || result.ptr == rest.data() + rest.size() || *result.ptr != ' ')
        return false;
    rest.remove_prefix(static_cast<std::size_t>(result.ptr - rest.data()) + 1);
    return true;
}

// One "cut", "copy" or "absent" line; nothing for any other line.
std::optional<TKeptFile> ParseKeptFile(std::string_view line)
{
    TKeptFile kept;
    const std::size_t space = line.find(' ');
    const std::string_view way = line.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    if (way == "cut") {
        kept.Way = KeptAs::Cut;
        if (!TakeNumber(rest, kept.Length) || !TakeNumber(rest, kept.Head) || !TakeNumber(rest, kept.From) ||
            kept.Head > kept.From || kept.From > kept.Length)
            return std::nullopt;
    } else if (way == "copy") {
        kept.Way = KeptAs::Copy;
    } else if (way != "absent") {
        return std::nullopt;
    }
    kept.Name = std::string(rest);
    return kept;
}

// The manifest, or nothing when it is missing or does not name every file.
std::optional<TManifest> ReadManifest(const TDatabaseFolder& undo)
{
    const std::optional<std::string> text = ReadWholeFile(undo.Path(kManifestName));
    if (!text)
        return std::nullopt;
    TManifest manifest;
    std::optional<TRunStart> start = ParseRunStart(*text);
    std::size_t position = 0;
    std::string_view line;
    while (NextTextLine(*text, position, line)) {
        if (line.substr(0, 4) == "run ")
            std::from_chars(line.data() + 4, line.data() + line.size(), manifest.Run);
        else if (std::optional<TKeptFile> kept = ParseKeptFile(line))
            manifest.Files.push_back(std::move(*kept));
    }
    for (const TDatabaseFileInfo& info : kDatabaseFiles)
        if (std::none_of(manifest.Files.begin(), manifest.Files.end(),
                         [&info](const TKeptFile& file) { return file.Name == info.Name; }))
            return std::nullopt;
    if (!start || manifest.Files.size() != kDatabaseFiles.size())
        return std::nullopt;
    manifest.Start = std::move(*start);
    return manifest;
}

std::uint64_t HashBytes(std::string_view bytes, std::uint64_t hash = 14695981039346656037ull)
{
    for (const char byte : bytes)
        hash = (hash ^ static_cast<std::uint8_t>(byte)) * 1099511628211ull;
    return hash;
}

// The state of one file as the seal records it: "file <size> <time> <hash>
// <name>", or "absent <name>".
std::string FileState(const TDatabaseFolder& folder, const TDatabaseFileInfo& info)
{
    if (!folder.Exists(info.Name))
        return "absent " + std::string(info.Name);
    const fs::path path = folder.Path(info.Name);
    TFileHandle file = TFileHandle::Open(path, FileOpening::Read);
    const std::uint64_t size = file.Size();
    std::error_code error;
    const fs::file_time_type time = fs::last_write_time(path, error);
    std::uint64_t hash = 0;
    if (info.Role == DatabaseFileRole::MainData)
        hash = HashBytes(ReadBytes(file, 0, std::min<std::uint64_t>(size, info.RecordSize)));
    else if (size <= kHashedWholeUpTo)
        hash = HashBytes(ReadBytes(file, 0, size));
    else
        hash = HashBytes(ReadBytes(file, size - kHashedEnds, kHashedEnds), HashBytes(ReadBytes(file, 0, kHashedEnds)));
    file.Close();
    return Format("file %llu %lld %016llx ", static_cast<unsigned long long>(size),
                  static_cast<long long>(error ? 0 : time.time_since_epoch().count()),
                  static_cast<unsigned long long>(hash)) +
           std::string(info.Name);
}

std::string StateText(const TDatabaseFolder& folder)
{
    std::string text;
    for (const TDatabaseFileInfo& info : kDatabaseFiles)
        text += FileState(folder, info) + "\n";
    return text;
}

// How a file's state now differs from the one the run left.
std::string Difference(std::string_view sealed, std::string_view now)
{
    if (sealed.size() < 5)
        return "was written to";
    if (sealed.substr(0, 7) == "absent ")
        return "was made";
    if (now.substr(0, 7) == "absent ")
        return "was removed";
    const auto size = [](std::string_view line) { return line.substr(5, line.find(' ', 5) - 5); };
    if (size(sealed) != size(now))
        return "holds " + std::string(size(now)) + " bytes where the run left " + std::string(size(sealed));
    return "was written to";
}

void RefuseChangedSince(const TDatabaseFolder& folder, const TDatabaseFolder& undo)
{
    const std::string sealed = ReadWholeFile(undo.Path(kSealName)).value_or(std::string());
    const std::string now = StateText(folder);
    std::size_t sealedAt = 0;
    std::size_t nowAt = 0;
    std::string_view sealedLine;
    std::string_view nowLine;
    while (NextTextLine(now, nowAt, nowLine)) {
        if (NextTextLine(sealed, sealedAt, sealedLine) && sealedLine == nowLine)
            continue;
        const std::string name(nowLine.substr(nowLine.rfind(' ') + 1));
        throw Exception(Format("The database in folder %s was changed by another program since the last run of this "
                               "program into it: %s %s. Undoing the run would lose that change; nothing was undone.",
                               folder.Name().c_str(), name.c_str(), Difference(sealedLine, nowLine).c_str()));
    }
}

// The manifest of a sealed point; refuses when there is none.
TManifest SealedManifest(const TDatabaseFolder& folder, const TDatabaseFolder& undo)
{
    const std::optional<TManifest> manifest =
        KindOfFile(folder.Path(kUndoFolderName)) == FileKind::Folder ? ReadManifest(undo) : std::nullopt;
    if (!manifest)
        throw Exception(Format("Nothing to undo in folder %s: no run of this program kept what undoing it needs "
                               "(only the last run can be undone, and a later rebuild or recovery lets it go).",
                               folder.Name().c_str()));
    if (folder.Exists(kRunMarkerFileName) || !undo.Exists(kSealName))
        throw Exception(Format("The last run into folder %s (run %d) never finished: it was stopped or killed, "
                               "so it cannot be undone. Resume the conversion to finish it, or run \"norrvik-cli "
                               "recover\" to keep what it committed.",
                               folder.Name().c_str(), manifest->Run));
    return *manifest;
}

// Before the first change: a file that may not be written would stop the
// undo half-way.
void RefuseFilesNotWritable(const TDatabaseFolder& folder)
{
    for (const TDatabaseFileInfo& info : kDatabaseFiles)
        if (folder.Exists(info.Name))
            if (const std::optional<std::string> why = WhyFileMayNotBeWritten(folder.Path(info.Name)))
                throw EInOutError(FileErrorMessage("Cannot undo the last run: cannot write file",
                                                   folder.FilePath(info.Name), *why));
}

std::int32_t CountedPatterns(const TDatabaseFolder& folder)
{
    DatabaseHeader header;
    TFileHandle file = TFileHandle::Open(folder.Path(kMainDataFileName), FileOpening::Read);
    file.ReadAt(0, header.Record());
    return header.PatternCount();
}

void CopyBack(const fs::path& from, const fs::path& to)
{
    const TFileHandle copy = TFileHandle::Open(from, FileOpening::Read);
    ReplaceFileAtomically(to, [&copy](TFileHandle& out) {
        std::vector<std::uint8_t> block(kCopyBlock);
        std::uint64_t offset = 0;
        while (const std::size_t got = copy.ReadSomeAt(offset, block)) {
            out.WriteAt(offset, ConstBytes(block.data(), got));
            offset += got;
        }
    });
}

void CutBack(const fs::path& path, const std::string& kept, const TKeptFile& file)
{
    if (kept.size() != file.Head + file.Length - file.From)
        throw EInOutError(FileErrorMessage("Cannot undo the run in", PathText(path), "what was kept of it is damaged"));
    TFileHandle target = TFileHandle::Open(path, FileOpening::ReadWrite);
    if (file.Head > 0) {
        // The main file's old header: the commit point of the undo.
        target.WriteAt(0, BytesOf(std::string_view(kept).substr(0, file.Head)));
        target.Sync();
    }
    target.Truncate(file.From);
    target.WriteAt(file.From, BytesOf(std::string_view(kept).substr(file.Head)));
    target.Sync();
    target.Close();
}

void PutBack(const TDatabaseFolder& folder, const TDatabaseFolder& undo, const TKeptFile& file)
{
    const fs::path path = folder.Path(file.Name);
    if (file.Way == KeptAs::Copy) {
        CopyBack(undo.Path(file.Name), path);
    } else if (file.Way == KeptAs::Cut) {
        const std::optional<std::string> kept = ReadWholeFile(undo.Path(file.Name + std::string(kKeptSuffix)));
        CutBack(path, kept.value_or(std::string()), file);
    } else if (folder.Exists(file.Name)) {
        std::error_code error;
        if (!fs::remove(path, error) && error)
            throw EInOutError(FileErrorMessage("Cannot remove file", PathText(path), error.message()));
    }
}

} // namespace

void MakeUndoPoint(const TDatabaseFolder& folder, int runNumber, const TRunStart& start)
{
    DropUndoPoint(folder);
    const TDatabaseFolder undo = UndoFolder(folder);
    undo.Create();
    std::vector<TKeptFile> files;
    for (const TDatabaseFileInfo& info : kDatabaseFiles)
        files.push_back(KeepFile(folder, undo, info, start));
    // Last: only a point with its manifest is ever used.
    WriteWholeFile(undo.Path(kManifestName), ManifestText(runNumber, start, files));
    folder.Forget();
}

void DropUndoPoint(const TDatabaseFolder& folder)
{
    const fs::path path = folder.Path(kUndoFolderName);
    const FileKind kind = KindOfFile(path);
    if (kind == FileKind::Missing)
        return;
    std::error_code error;
    if (kind == FileKind::Folder) {
        // The manifest first: a point half removed is never used.
        const fs::path manifest = path / PathFromText(kManifestName);
        if (!fs::remove(manifest, error) && error)
            throw EInOutError(FileErrorMessage("Cannot remove file", PathText(manifest), error.message()));
        SyncFolder(path);
    }
    fs::remove_all(path, error); // what is left without a manifest is never used
    folder.Forget();
    folder.Sync();
}

void SealUndoPoint(const TDatabaseFolder& folder)
{
    WriteWholeFile(UndoFolder(folder).Path(kSealName), StateText(folder));
}

TUndoResult UndoLastRun(const std::string& folderText, const std::function<void(const TUndoResult&)>& undone)
{
    const TTypedFolder typed(folderText);
    const TDatabaseLock lock = TDatabaseLock::Exclusive(typed);
    const TDatabaseFolder folder(typed);
    folder.CheckExists();
    const TDatabaseFolder undo = UndoFolder(folder);
    const TManifest manifest = SealedManifest(folder, undo);
    RefuseChangedSince(folder, undo);
    RefuseFilesNotWritable(folder);
    TUndoResult result;
    result.RunNumber = manifest.Run;
    result.PatternsRemoved = CountedPatterns(folder) - manifest.Start.Patterns;
    result.DatabaseRemoved = manifest.Start.NewDatabase;
    // Marked as a run: a stop from here on is recovered by the next open.
    TDatabaseRun::WriteMarker(folder, manifest.Start);
    for (const TKeptFile& file : manifest.Files)
        PutBack(folder, undo, file);
    folder.Forget();
    folder.Sync();
    // The point goes before the marker: a stop between the two is recovered
    // as a run, never left with a point of a state that is gone.
    DropUndoPoint(folder);
    TDatabaseRun::RemoveMarker(folder);
    if (undone)
        undone(result);
    return result;
}

} // namespace norrvik
