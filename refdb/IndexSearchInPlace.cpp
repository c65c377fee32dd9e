// The binary search over a text index file's bytes.
#include "refdb/IndexSearchInPlace.h"

#include "common/FileHandle.h"
#include "common/Platform.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace norrvik {

namespace {

// The end of a file that every search checks whole: where entries another
// program appended without a sort would stand.
constexpr std::uint64_t kCheckedTail = 16384;

// The first CR or LF in `bytes` at or after `from`, else npos.
std::size_t FindLineEnd(std::string_view bytes, std::size_t from)
{
    for (std::size_t i = from; i < bytes.size(); ++i)
        if (bytes[i] == '\r' || bytes[i] == '\n')
            return i;
    return std::string_view::npos;
}

// One entry line as read: the entry and where the next line starts.
struct TLineAt {
    TIndexedString Entry;
    std::uint64_t Next = 0;
};

// A text index file read in aligned blocks, each once and kept for the one
// search; every whole line of a block read is checked to be an entry line in
// the index order. Any line not as the store writes it marks the file
// broken: the callers stop and the search gives nothing.
class TIndexFileBlocks {
public:
    TIndexFileBlocks(TFileHandle file, std::size_t blockSize)
        : file_(std::move(file)), size_(file_.Size()), blockSize_(std::max<std::size_t>(blockSize, 2))
    {
    }

    std::uint64_t Size() const { return size_; }
    bool Broken() const { return broken_; }
    void MarkBroken() { broken_ = true; }
    // Where the entry lines begin (after the count line); lines before it
    // are never checked as entries.
    void SetFirstEntry(std::uint64_t offset)
    {
        firstEntry_ = offset;
        for (const auto& [k, block] : blocks_)
            CheckLines(block, k * blockSize_);
    }

    // Position of the first CR or LF at or after `from`, else the size.
    std::uint64_t NextLineEnd(std::uint64_t from)
    {
        while (from < size_) {
            const std::uint64_t k = from / blockSize_;
            const std::string_view block = Block(k);
            const std::size_t found = FindLineEnd(block, static_cast<std::size_t>(from - k * blockSize_));
            if (found != std::string_view::npos)
                return k * blockSize_ + found;
            from = (k + 1) * blockSize_;
        }
        return size_;
    }

    char ByteAt(std::uint64_t offset)
    {
        const std::uint64_t k = offset / blockSize_;
        return Block(k)[static_cast<std::size_t>(offset - k * blockSize_)];
    }

    // The bytes first..last-1 (within the file): a view into the block
    // that holds them all, else into `joined`.
    std::string_view Bytes(std::uint64_t first, std::uint64_t last, std::string& joined)
    {
        const std::uint64_t k = first / blockSize_;
        if (last <= (k + 1) * blockSize_)
            return Block(k).substr(static_cast<std::size_t>(first - k * blockSize_),
                                   static_cast<std::size_t>(last - first));
        joined = Bytes(first, last);
        return joined;
    }
    std::string Bytes(std::uint64_t first, std::uint64_t last)
    {
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(last - first));
        while (first < last) {
            const std::uint64_t k = first / blockSize_;
            const std::uint64_t at = first - k * blockSize_;
            const std::string_view block = Block(k);
            const std::uint64_t take = std::min<std::uint64_t>(block.size() - at, last - first);
            bytes.append(block.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(take)));
            first += take;
        }
        return bytes;
    }

    // Where the line after the one ending at `end` (a CR or LF, or the
    // size) begins: after its CR LF. Marks the file broken at a lone CR or
    // LF.
    std::uint64_t AfterLineEnd(std::uint64_t end)
    {
        if (end >= size_)
            return size_;
        if (ByteAt(end) != '\r' || end + 1 >= size_ || ByteAt(end + 1) != '\n')
            broken_ = true;
        return end + 2;
    }

    // The first line that begins at or after `offset` (> the first entry),
    // else the size.
    std::uint64_t LineStartFrom(std::uint64_t offset)
    {
        const std::uint64_t end = NextLineEnd(offset - 1);
        if (end >= size_ || ByteAt(end) != '\n')
            return AfterLineEnd(end);
        if (end < 1 || ByteAt(end - 1) != '\r')
            broken_ = true;
        return end + 1;
    }

    // The entry line beginning at `start`.
    TLineAt LineAt(std::uint64_t start)
    {
        const std::uint64_t end = NextLineEnd(start);
        std::string joined;
        const std::string_view line = Bytes(start, end, joined);
        TLineAt read;
        TIndexEntryView view;
        if (!ParseIndexEntryLine(line, view))
            broken_ = true;
        read.Entry.Text.assign(view.Text);
        read.Entry.RecordNumber = view.RecordNumber;
        read.Next = AfterLineEnd(end);
        return read;
    }

    // Checks the lines that stand whole in the last `bytes` of the file,
    // as one stretch whatever the block size.
    void CheckTail(std::uint64_t bytes)
    {
        const std::uint64_t first = size_ - std::min(bytes, size_);
        CheckLines(Bytes(first, size_), first);
    }

private:
    std::string_view Block(std::uint64_t k)
    {
        if (lastBlock_ && lastBlockNumber_ == k)
            return *lastBlock_; // most reads stay in the block read before
        const auto [place, added] = blocks_.try_emplace(k);
        std::string& block = place->second;
        if (added) {
            const std::uint64_t offset = k * blockSize_;
            block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(blockSize_, size_ - offset)));
            file_.ReadAt(offset, MutableBytes(reinterpret_cast<std::uint8_t*>(block.data()), block.size()));
            CheckLines(block, offset);
        }
        lastBlockNumber_ = k;
        lastBlock_ = &block; // the map's elements stay where they are
        return block;
    }

    // The lines that stand whole in `block` (the bytes at `offset`): entry
    // lines ending in CR LF (the file's last may end without), in the index
    // order.
    void CheckLines(std::string_view block, std::uint64_t offset)
    {
        const bool last = offset + block.size() >= size_;
        std::size_t start = 0;
        if (firstEntry_ >= offset + block.size())
            return;
        if (firstEntry_ >= offset) {
            start = static_cast<std::size_t>(firstEntry_ - offset);
        } else {
            start = block.find("\r\n");
            if (start == std::string_view::npos)
                return;
            start += 2;
        }
        std::string_view previous;
        for (bool first = true; start < block.size(); first = false) {
            std::size_t end = FindLineEnd(block, start);
            if (end == std::string_view::npos && !last)
                return;
            end = std::min(end, block.size());
            if (end + 1 == block.size() && !last)
                return; // the line's LF is in the next block
            if (end < block.size() && (block[end] != '\r' || end + 1 >= block.size() || block[end + 1] != '\n'))
                broken_ = true;
            TIndexEntryView entry;
            if (!ParseIndexEntryLine(block.substr(start, end - start), entry) ||
                (!first && IndexTextLess(entry.Text, previous)))
                broken_ = true;
            if (broken_)
                return;
            previous = entry.Text;
            start = end + 2;
        }
    }

    TFileHandle file_;
    std::uint64_t size_ = 0;
    std::size_t blockSize_ = kIndexBlockSize;
    std::uint64_t firstEntry_ = UINT64_MAX; // not known before the count line is read
    bool broken_ = false;
    std::unordered_map<std::uint64_t, std::string> blocks_;
    std::uint64_t lastBlockNumber_ = 0;
    const std::string* lastBlock_ = nullptr;
};

// Where the first entry line begins, with the count; nothing when the count
// line is not one.
std::optional<std::pair<std::uint64_t, std::int32_t>> ReadCountLine(TIndexFileBlocks& file)
{
    const std::uint64_t end = file.NextLineEnd(0);
    std::int32_t count = 0;
    if (end == 0 || !ParseIndexCountLine(file.Bytes(0, end), count))
        return std::nullopt;
    const std::uint64_t first = file.AfterLineEnd(end);
    return std::make_pair(first, count);
}

// A line before or after the place narrowed to, with its text.
struct TBound {
    std::uint64_t Offset = 0;
    std::optional<std::string> Text;
};

// Narrows the place of the first entry not below `key` to about one block:
// lo (a line start) with every line before it below the key, hi (a line
// start, or the size) with every line from it on not below. The texts met
// must keep the index order.
std::pair<TBound, TBound> Narrow(TIndexFileBlocks& file, std::uint64_t firstEntry, std::string_view key,
                                 std::uint64_t blockSize)
{
    TBound lo{firstEntry, std::nullopt};
    TBound hi{file.Size(), std::nullopt};
    std::uint64_t end = hi.Offset; // no line begins between end and hi
    while (lo.Offset < end && end - lo.Offset > blockSize && !file.Broken()) {
        const std::uint64_t middle = lo.Offset + (end - lo.Offset) / 2;
        const std::uint64_t start = file.LineStartFrom(middle);
        if (start >= end) {
            end = middle;
            continue;
        }
        TLineAt line = file.LineAt(start);
        const std::string& text = line.Entry.Text;
        if ((lo.Text && IndexTextLess(text, *lo.Text)) || (hi.Text && IndexTextLess(*hi.Text, text))) {
            file.MarkBroken();
        } else if (IndexTextLess(text, key)) {
            lo = {line.Next, std::move(line.Entry.Text)};
        } else {
            hi = {start, std::move(line.Entry.Text)};
            end = start;
        }
    }
    return {std::move(lo), std::move(hi)};
}

} // namespace

std::optional<TIndexes> FindPrefixInPlace(const std::filesystem::path& path, std::string_view key, std::size_t blockSize)
{
    std::optional<TFileHandle> handle = TFileHandle::OpenIfExists(path, FileOpening::Read);
    if (!handle)
        return TIndexes();
    TIndexFileBlocks file(std::move(*handle), blockSize);
    const auto countLine = ReadCountLine(file);
    if (!countLine || file.Broken())
        return std::nullopt;
    if (countLine->second == 0)
        return TIndexes(); // the lines after the counted ones are not entries
    file.SetFirstEntry(countLine->first);
    file.CheckTail(kCheckedTail);
    const auto [lo, hi] = Narrow(file, countLine->first, key, blockSize);

    TIndexes found;
    std::optional<std::string> previous = lo.Text;
    for (std::uint64_t start = lo.Offset; start < file.Size() && !file.Broken();) {
        TLineAt line = file.LineAt(start);
        if ((previous && IndexTextLess(line.Entry.Text, *previous)) || (hi.Text && start == hi.Offset && line.Entry.Text != *hi.Text))
            file.MarkBroken();
        else if (!IndexTextLess(line.Entry.Text, key) && !IndexTextHasPrefix(line.Entry.Text, key))
            break;
        previous = line.Entry.Text;
        if (IndexTextHasPrefix(line.Entry.Text, key))
            found.push_back(std::move(line.Entry));
        start = line.Next;
    }
    if (file.Broken())
        return std::nullopt;
    return found;
}

} // namespace norrvik
