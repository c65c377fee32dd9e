// Files of fixed-size records (the main data file, the two text-line files,
// the binary indexes) and whole-file text helpers for the text indexes. Every
// file is closed by its owner's destructor; every failure raises EInOutError
// naming the file and the reason. Reads never go past the end of a file.
#pragma once

#include "common/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace norrvik {

// A binary file read and written in records of one size. Buffered: records
// written one after the other go out in large blocks.
class TRecordFile {
public:
    TRecordFile() = default;
    ~TRecordFile();
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;

    // Opens an existing file, for reading only or for reading and writing.
    void Open(const std::filesystem::path& path, std::size_t recordSize, bool readOnly);
    // Creates the file anew (an existing one is truncated), for reading and writing.
    void Create(const std::filesystem::path& path, std::size_t recordSize);
    // Flushes and closes; raises EInOutError when buffered data cannot be
    // written. Closing a closed file does nothing.
    void Close();
    // Closes without reporting anything (for paths that already fail).
    void CloseQuietly() noexcept;

    // Writes the buffered records and puts the file's data on the disk.
    void Sync();
    // Cuts the file to its first `records` records.
    void Truncate(std::int64_t records);

    bool IsOpen() const { return file_.is_open(); }
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
    void OpenStream(const std::filesystem::path& path, std::ios::openmode mode,
                    const char* what);
    void RequireOpen() const;

    std::fstream file_;
    std::filesystem::path path_;
    std::string pathText_;
    std::size_t recordSize_ = 1;
    std::uint64_t size_ = 0;
    bool readOnly_ = true;
    // Where the stream stands and whether it last read or wrote: a switch
    // between reading and writing needs a seek.
    std::uint64_t position_ = 0;
    enum class LastOperation { None, Read, Write } last_ = LastOperation::None;
};

// The whole content of a file, or nothing when it does not exist. Raises
// EInOutError naming the file when it exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);
// Creates (truncates) the file and writes `content`; raises EInOutError
// naming the file on failure.
void WriteWholeFile(const std::filesystem::path& path, std::string_view content);
// Appends `content` at the end of an existing file (created when missing).
void AppendToFile(const std::filesystem::path& path, std::string_view content);
// Overwrites the first bytes of an existing file with `content`.
void OverwriteFileStart(const std::filesystem::path& path, std::string_view content);

} // namespace norrvik
