// Record files over std::fstream and whole-file text helpers.
#include "refdb/RecordFile.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"

#include <cerrno>
#include <limits>
#include <system_error>

namespace norrvik {

namespace {

std::streamoff StreamOffset(std::uint64_t offset)
{
    NORRVIK_ASSERT(offset <= static_cast<std::uint64_t>(std::numeric_limits<std::streamoff>::max()),
                   "File offset too large");
    return static_cast<std::streamoff>(offset);
}

std::streamsize StreamSize(std::size_t size)
{
    return static_cast<std::streamsize>(size);
}

} // namespace

TRecordFile::~TRecordFile()
{
    CloseQuietly();
}

void TRecordFile::OpenStream(const std::filesystem::path& path, std::ios::openmode mode,
                             const char* what)
{
    CloseQuietly();
    path_ = path;
    pathText_ = PathText(path);
    errno = 0;
    file_.open(path, mode | std::ios::binary);
    if (!file_.is_open())
        ThrowFileError(what, pathText_);
    position_ = 0;
    last_ = LastOperation::None;
}

void TRecordFile::Open(const std::filesystem::path& path, std::size_t recordSize, bool readOnly)
{
    NORRVIK_ASSERT(recordSize > 0, "Record size must be positive");
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        throw EInOutError(FileErrorMessage("Cannot open file", PathText(path), error.message()));
    OpenStream(path, readOnly ? std::ios::in : (std::ios::in | std::ios::out), "Cannot open file");
    recordSize_ = recordSize;
    readOnly_ = readOnly;
    size_ = size;
}

void TRecordFile::Create(const std::filesystem::path& path, std::size_t recordSize)
{
    NORRVIK_ASSERT(recordSize > 0, "Record size must be positive");
    OpenStream(path, std::ios::in | std::ios::out | std::ios::trunc, "Cannot create file");
    recordSize_ = recordSize;
    readOnly_ = false;
    size_ = 0;
}

void TRecordFile::Close()
{
    if (!file_.is_open())
        return;
    errno = 0;
    file_.close();
    if (file_.fail()) {
        file_.clear();
        ThrowFileError("Cannot write file", pathText_);
    }
}

void TRecordFile::CloseQuietly() noexcept
{
    try {
        if (file_.is_open())
            file_.close();
    } catch (...) {
    }
    file_.clear();
}

void TRecordFile::Sync()
{
    RequireOpen();
    errno = 0;
    if (!file_.flush()) {
        file_.clear();
        ThrowFileError("Cannot write file", pathText_);
    }
    SyncFileData(path_);
}

void TRecordFile::Truncate(std::int64_t records)
{
    RequireOpen();
    NORRVIK_ASSERT(records >= 0, "Invalid record count");
    const std::uint64_t size = static_cast<std::uint64_t>(records) * recordSize_;
    errno = 0;
    if (!file_.flush()) {
        file_.clear();
        ThrowFileError("Cannot write file", pathText_);
    }
    std::error_code error;
    std::filesystem::resize_file(path_, size, error);
    if (error)
        throw EInOutError(FileErrorMessage("Cannot write file", pathText_, error.message()));
    size_ = size;
    last_ = LastOperation::None;
}

void TRecordFile::RequireOpen() const
{
    if (!file_.is_open())
        throw EInOutError(FileErrorMessage("Cannot use file", pathText_.empty() ? "(none)" : pathText_,
                                           "the file is not open"));
}

std::int64_t TRecordFile::RecordCount() const
{
    return static_cast<std::int64_t>(size_ / recordSize_);
}

void TRecordFile::ReadAt(std::uint64_t offset, MutableBytes bytes)
{
    RequireOpen();
    if (offset > size_ || bytes.size() > size_ - offset)
        throw EInOutError(FileErrorMessage("Cannot read file", pathText_,
                                           "the file ends before the record does"));
    errno = 0;
    if (position_ != offset || last_ != LastOperation::Read) {
        file_.seekg(StreamOffset(offset));
    }
    file_.read(reinterpret_cast<char*>(bytes.data()), StreamSize(bytes.size()));
    if (!file_) {
        file_.clear();
        last_ = LastOperation::None;
        ThrowFileError("Cannot read file", pathText_);
    }
    position_ = offset + bytes.size();
    last_ = LastOperation::Read;
}

void TRecordFile::WriteAt(std::uint64_t offset, ConstBytes bytes)
{
    RequireOpen();
    if (readOnly_)
        throw EInOutError(FileErrorMessage("Cannot write file", pathText_,
                                           "the file is open for reading only"));
    NORRVIK_ASSERT(offset <= size_, "Write past the end of a record file");
    errno = 0;
    if (position_ != offset || last_ != LastOperation::Write)
        file_.seekp(StreamOffset(offset));
    file_.write(reinterpret_cast<const char*>(bytes.data()), StreamSize(bytes.size()));
    if (!file_) {
        file_.clear();
        last_ = LastOperation::None;
        ThrowFileError("Cannot write file", pathText_);
    }
    position_ = offset + bytes.size();
    last_ = LastOperation::Write;
    if (position_ > size_)
        size_ = position_;
}

void TRecordFile::ReadRecord(std::int64_t n, MutableBytes record)
{
    NORRVIK_ASSERT(n >= 0 && record.size() == recordSize_, "Invalid record read");
    ReadAt(static_cast<std::uint64_t>(n) * recordSize_, record);
}

void TRecordFile::WriteRecord(std::int64_t n, ConstBytes record)
{
    NORRVIK_ASSERT(n >= 0 && record.size() == recordSize_, "Invalid record write");
    WriteAt(static_cast<std::uint64_t>(n) * recordSize_, record);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return std::nullopt;
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        ThrowFileError("Cannot open file", PathText(path));
    std::string content;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        content.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (file.eof())
            break;
    }
    if (file.bad())
        ThrowFileError("Cannot read file", PathText(path));
    return content;
}

namespace {

// Opens the file in `mode` (binary, for writing) and writes `content` from
// where the mode puts the stream: the start, or the end when appending.
void WriteFileInMode(const std::filesystem::path& path, std::ios::openmode mode, const char* what,
                     std::string_view content)
{
    errno = 0;
    std::fstream file(path, mode | std::ios::binary | std::ios::out);
    if (!file)
        ThrowFileError(what, PathText(path));
    file.write(content.data(), StreamSize(content.size()));
    file.close();
    if (file.fail())
        ThrowFileError("Cannot write file", PathText(path));
}

} // namespace

void WriteWholeFile(const std::filesystem::path& path, std::string_view content)
{
    // The new content goes to a file beside the old one and replaces it only
    // once it is wholly written: a full disk leaves the previous file as it
    // was, never a truncated index that would keep the database from opening.
    if (std::filesystem::exists(path) && !std::ofstream(path, std::ios::binary | std::ios::app))
        ThrowFileError("Cannot create file", PathText(path)); // a write-protected file stays as it is
    std::filesystem::path temporary = path;
    temporary += ".new";
    try {
        WriteFileInMode(temporary, std::ios::trunc, "Cannot create file", content);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw EInOutError(FileErrorMessage("Cannot write file", PathText(path), error.message()));
    }
}

void AppendToFile(const std::filesystem::path& path, std::string_view content)
{
    WriteFileInMode(path, std::ios::app, "Cannot open file", content);
}

void OverwriteFileStart(const std::filesystem::path& path, std::string_view content)
{
    // Reading and writing without truncation: the stream starts at byte 0.
    WriteFileInMode(path, std::ios::in, "Cannot open file", content);
}

} // namespace norrvik
