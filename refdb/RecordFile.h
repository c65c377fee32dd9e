// Files of fixed-size records (the main data file, the two text-line files,
// the binary indexes) and whole-file text helpers for the text indexes. Every
// file is closed by its owner's destructor; every failure raises EInOutError
// naming the file and the reason. Reads never go past the end of a file.
#pragma once

#include "common/ByteOrder.h"
#include "common/FileHandle.h"
#include "common/ReadAhead.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// A binary file read and written in records of one size. Buffered: records
// written one after the other go out in large blocks, and reads that follow
// one another through the file are served from blocks read ahead; a read sees
// what was written before it, buffered or not. Opening refuses symbolic links and
// anything but a regular file (TFileHandle).
class TRecordFile {
public:
    TRecordFile() = default;
    ~TRecordFile();
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;

    // Opens an existing file, for reading only or for reading and writing.
    void Open(const std::filesystem::path& path, std::size_t recordSize, bool readOnly);
    // Creates the file anew (an existing regular file is truncated), for
    // reading and writing.
    void Create(const std::filesystem::path& path, std::size_t recordSize);
    // Flushes and closes; raises EInOutError when buffered data cannot be
    // written. Closing a closed file does nothing.
    void Close();
    // Closes without reporting anything (for paths that already fail).
    void CloseQuietly() noexcept;

    // Writes the buffered records and puts the file's data on the disk.
    void Sync();
    // Writes the buffered records and lets the system start putting them on
    // the disk without waiting (a head start for the next Sync).
    void StartWriteback();
    // Cuts the file to its first `records` records (buffered records beyond
    // them are dropped).
    void Truncate(std::int64_t records);

    bool IsOpen() const { return file_.IsOpen(); }
    bool IsReadOnly() const { return readOnly_; }
    std::size_t RecordSize() const { return recordSize_; }
    const std::string& FileText() const { return pathText_; }

    // Whole records in the file (a trailing partial record is not counted).
    std::int64_t RecordCount() const;

    // Reads record n into `record` (recordSize bytes); raises EInOutError
    // when the file ends before the record does.
    void ReadRecord(std::int64_t n, MutableBytes record);
    // Writes `record` (recordSize bytes) as record n (n <= RecordCount()).
    void WriteRecord(std::int64_t n, ConstBytes record);
    // Reads `bytes.size()` bytes at `offset`; raises when the file is shorter.
    void ReadAt(std::uint64_t offset, MutableBytes bytes);
    // Writes the bytes at `offset`.
    void WriteAt(std::uint64_t offset, ConstBytes bytes);

private:
    void RequireOpen() const;
    void RequireWritable() const;
    void Flush();
    std::uint64_t BufferEnd() const { return bufferStart_ + buffer_.size(); }

    TFileHandle file_;
    std::string pathText_;
    std::size_t recordSize_ = 1;
    std::uint64_t size_ = 0; // including what is still buffered
    bool readOnly_ = true;
    // Bytes written but not yet passed to the system: one stretch of the
    // file starting at bufferStart_.
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;
    // Bytes read ahead from the file (never any that are buffered above),
    // dropped when a write or a cut touches them: reads that follow one
    // another (a rebuild or a recovery going through the records) take
    // 128 KiB of the file at a time.
    TReadAhead readAhead_{128 * 1024};
};

// The whole content of a file, or nothing when it does not exist. Raises
// EInOutError naming the file when it exists but cannot be read, or is a
// link or not a regular file; reads no more than the file holds.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);
// Replaces the file with `content`, durably and wholly or not at all
// (ReplaceFileAtomically); raises EInOutError naming the file on failure or
// when the file is a link, not a regular file or marked read-only.
void WriteWholeFile(const std::filesystem::path& path, std::string_view content);
// Appends `content` at the end of an existing file (created when missing).
void AppendToFile(const std::filesystem::path& path, std::string_view content);
// Overwrites the first bytes of an existing file with `content`.
void OverwriteFileStart(const std::filesystem::path& path, std::string_view content);

} // namespace norrvik
