// Record files over TFileHandle and whole-file text helpers.
#include "refdb/RecordFile.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "refdb/Recovery.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace norrvik {

namespace {

// Records written one after the other (text lines, index records, pattern
// records) are collected up to kBufferCapacity bytes before they go to the
// system in one write; a write of kDirectWrite bytes or more goes to the
// system at once, after what is buffered. (The store's commits decide when
// records must be on the disk, see ReferenceDatabase.h.)
constexpr std::size_t kBufferCapacity = 64 * 1024;
constexpr std::size_t kDirectWrite = kBufferCapacity;

// Opens a target file for writing; a file marked read-only is reported, not
// written (an administrator could write it anyway).
TFileHandle OpenForWriting(const std::filesystem::path& path, FileOpening how)
{
    if (const auto reason = WhyFileMayNotBeWritten(path))
        throw EInOutError(FileErrorMessage(how == FileOpening::ReadWrite ? "Cannot open file"
                                                                         : "Cannot create file",
                                           PathText(path), *reason));
    return TFileHandle::Open(path, how);
}

} // namespace

TRecordFile::~TRecordFile()
{
    CloseQuietly();
}

void TRecordFile::Open(const std::filesystem::path& path, std::size_t recordSize, bool readOnly)
{
    NORRVIK_ASSERT(recordSize > 0, "Record size must be positive");
    CloseQuietly();
    pathText_ = PathText(path);
    file_ = readOnly ? TFileHandle::Open(path, FileOpening::Read)
                     : OpenForWriting(path, FileOpening::ReadWrite);
    recordSize_ = recordSize;
    readOnly_ = readOnly;
    size_ = file_.Size();
    readAhead_.Forget();
}

void TRecordFile::Create(const std::filesystem::path& path, std::size_t recordSize)
{
    NORRVIK_ASSERT(recordSize > 0, "Record size must be positive");
    CloseQuietly();
    pathText_ = PathText(path);
    // Truncated only once it is known to be a regular file of ours.
    file_ = OpenForWriting(path, FileOpening::CreateOrOpen);
    file_.Truncate(0);
    recordSize_ = recordSize;
    readOnly_ = false;
    size_ = 0;
    readAhead_.Forget();
}

void TRecordFile::Close()
{
    if (!file_.IsOpen())
        return;
    try {
        Flush();
    } catch (...) {
        buffer_.clear();
        file_.CloseQuietly();
        throw;
    }
    readAhead_.Forget();
    file_.Close();
}

void TRecordFile::CloseQuietly() noexcept
{
    try {
        if (file_.IsOpen())
            Flush();
    } catch (...) {
    }
    buffer_.clear();
    readAhead_.Forget();
    file_.CloseQuietly();
}

void TRecordFile::Sync()
{
    RequireWritable();
    Flush();
    file_.Sync();
}

void TRecordFile::StartWriteback()
{
    RequireWritable();
    Flush();
    file_.StartWriteback();
}

void TRecordFile::Truncate(std::int64_t records)
{
    RequireWritable();
    NORRVIK_ASSERT(records >= 0, "Invalid record count");
    const std::uint64_t size = static_cast<std::uint64_t>(records) * recordSize_;
    NORRVIK_ASSERT(size <= size_, "Truncating a record file beyond its end");
    if (bufferStart_ >= size)
        buffer_.clear();
    else if (BufferEnd() > size)
        buffer_.resize(static_cast<std::size_t>(size - bufferStart_));
    Flush();
    readAhead_.DropOver(size, std::numeric_limits<std::uint64_t>::max());
    file_.Truncate(size);
    size_ = size;
}

void TRecordFile::Flush()
{
    if (buffer_.empty())
        return;
    // The buffer is emptied first: a failed write is reported once, and the
    // bytes are not written again behind later ones.
    const std::vector<std::uint8_t> pending = std::move(buffer_);
    buffer_.clear();
    file_.WriteAt(bufferStart_, pending);
}

void TRecordFile::RequireOpen() const
{
    if (!file_.IsOpen())
        throw EInOutError(FileErrorMessage("Cannot use file", pathText_.empty() ? "(none)" : pathText_,
                                           "the file is not open"));
}

void TRecordFile::RequireWritable() const
{
    RequireOpen();
    if (readOnly_)
        throw EInOutError(FileErrorMessage("Cannot write file", pathText_,
                                           "the file is open for reading only"));
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
                                           "the file ends before the record does" +
                                               std::string(kRepairWithRecover)));
    const std::uint64_t end = offset + bytes.size();
    if (!buffer_.empty() && offset >= bufferStart_ && end <= BufferEnd()) {
        std::memcpy(bytes.data(), buffer_.data() + (offset - bufferStart_), bytes.size());
        return;
    }
    if (!buffer_.empty() && offset < BufferEnd() && end > bufferStart_)
        Flush(); // partly buffered: the file holds it all once written
    // Never into buffered bytes beyond the read: the file does not hold them
    // yet (the buffer lies wholly before or wholly after the read here).
    const std::uint64_t limit = !buffer_.empty() && bufferStart_ >= end ? bufferStart_ : size_;
    if (!readAhead_.Read(file_, offset, bytes, limit))
        file_.ReadAt(offset, bytes);
}

void TRecordFile::WriteAt(std::uint64_t offset, ConstBytes bytes)
{
    RequireWritable();
    NORRVIK_ASSERT(offset <= size_, "Write past the end of a record file");
    const std::uint64_t end = offset + bytes.size();
    readAhead_.DropOver(offset, end);
    const bool extendsBuffer = bytes.size() < kDirectWrite && !buffer_.empty() && offset >= bufferStart_ && offset <= BufferEnd() &&
                               end - bufferStart_ <= kBufferCapacity;
    if (extendsBuffer) {
        const auto at = static_cast<std::size_t>(offset - bufferStart_);
        if (buffer_.size() < at + bytes.size())
            buffer_.resize(at + bytes.size());
        std::copy(bytes.begin(), bytes.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
        // Written in the order they came: what is buffered goes first.
        Flush();
        if (bytes.size() >= kDirectWrite) {
            file_.WriteAt(offset, bytes);
        } else {
            buffer_.reserve(kBufferCapacity);
            buffer_.assign(bytes.begin(), bytes.end());
            bufferStart_ = offset;
        }
    }
    size_ = std::max(size_, end);
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
    return ReadWholeRegularFile(path);
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view content)
{
    ReplaceFileAtomically(path, content);
}

void AppendToFile(const std::filesystem::path& path, std::string_view content)
{
    TFileHandle file = OpenForWriting(path, FileOpening::CreateOrOpen);
    file.WriteAt(file.Size(), BytesOf(content));
    file.Close();
}

void OverwriteFileStart(const std::filesystem::path& path, std::string_view content)
{
    TFileHandle file = OpenForWriting(path, FileOpening::ReadWrite);
    file.WriteAt(0, BytesOf(content));
    file.Close();
}

} // namespace norrvik
