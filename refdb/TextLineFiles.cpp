// The two text-line files of a target database.
#include "refdb/TextLineFiles.h"

#include "common/Exceptions.h"
#include "common/Files.h"
#include "common/Text.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

namespace norrvik {

namespace {

constexpr std::array<TextSideFile, 2> kSides = {TextSideFile::Comment, TextSideFile::Literature};

} // namespace

TTextLineFiles::TTextLineFiles(const TDatabaseFolder& folder, const bool& readOnly)
    : folder_(folder), readOnly_(readOnly)
{
}

TRecordFile& TTextLineFiles::Opened(TextSideFile side)
{
    TRecordFile& file = files_[Slot(side)];
    if (file.IsOpen())
        return file;
    const std::string_view name = TextLineFileName(side);
    const auto path = folder_.Path(name);
    if (folder_.Exists(name))
        file.Open(path, kTextLineSize, readOnly_);
    else
        file.Create(path, kTextLineSize);
    return file;
}

TextRange TTextLineFiles::Write(TextSideFile side, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return {};
    TRecordFile& file = Opened(side);
    const std::int64_t first = file.RecordCount();
    if (lines.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()) ||
        first + static_cast<std::int64_t>(lines.size()) > std::numeric_limits<std::int32_t>::max())
        throw EInOutError(FileErrorMessage("Cannot add text lines to", file.FileText(),
                                           "too many lines for a pattern's text range"));
    std::array<std::uint8_t, kTextLineSize> record;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        record.fill(' ');
        const std::size_t length = std::min(lines[i].size(), kTextLineSize);
        std::copy_n(lines[i].begin(), length, record.begin());
        file.WriteRecord(first + static_cast<std::int64_t>(i), record);
    }
    return {static_cast<std::int32_t>(first), static_cast<std::int16_t>(lines.size())};
}

void TTextLineFiles::Read(TextSideFile side, std::int32_t first, std::int32_t count,
                          std::vector<std::string>& lines)
{
    // A database opened for reading is never changed: a missing side file
    // holds no lines and is not created.
    if (!files_[Slot(side)].IsOpen() && readOnly_ && !folder_.Exists(TextLineFileName(side)))
        return;
    TRecordFile& file = Opened(side);
    const std::int64_t end =
        std::min<std::int64_t>(static_cast<std::int64_t>(first) + count, file.RecordCount());
    std::array<std::uint8_t, kTextLineSize> record;
    for (std::int64_t n = first; n < end; ++n) {
        file.ReadRecord(n, record);
        lines.push_back(TrimRight(std::string_view(reinterpret_cast<const char*>(record.data()), record.size())));
    }
}

void TTextLineFiles::Sync()
{
    for (TRecordFile& file : files_)
        if (file.IsOpen())
            file.Sync();
}

void TTextLineFiles::StartWriteback()
{
    for (TRecordFile& file : files_)
        if (file.IsOpen())
            file.StartWriteback();
}

void TTextLineFiles::CutTo(const std::array<std::int64_t, 2>& keep)
{
    for (TextSideFile side : kSides) {
        const std::string_view name = TextLineFileName(side);
        if (!folder_.Exists(name))
            continue;
        const std::int64_t lines = keep[Slot(side)];
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(folder_.Path(name), error);
        if (!error && size > static_cast<std::uintmax_t>(lines) * kTextLineSize)
            Opened(side).Truncate(lines);
    }
}

void TTextLineFiles::Close(std::exception_ptr& failure)
{
    for (TRecordFile& file : files_) {
        try {
            file.Close();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
}

} // namespace norrvik
