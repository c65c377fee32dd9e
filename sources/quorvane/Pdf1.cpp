// Reader of the Quorvane database file set (index, names, formulas, line
// lists and the optional set table of a PDF1 reference database).
#include "sources/quorvane/Pdf1.h"

#include "common/ByteOrder.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/ReadAhead.h"
#include "common/SourceFolder.h"

#include <algorithm>
#include <vector>

namespace norrvik::pdf1 {

namespace {

// QUORVANE.IND: record 0 is the header, record k describes pattern k.
constexpr std::size_t kIndexRecordSize = 72;
using IndexRecord = std::array<std::uint8_t, kIndexRecordSize>;

// Header record.
constexpr std::size_t kHeaderPatternCount = 0;  // int32
constexpr std::size_t kHeaderReferenceFlag = 4; // byte, nonzero: PDF1 reference database
constexpr std::size_t kHeaderTagFirst = 5;      // two characters
constexpr std::size_t kHeaderSetValue = 7;      // int8, sign-extended

// Pattern record.
constexpr std::size_t kRecordNamesOffset = 0;    // int32, into QUORVANE.NAM
constexpr std::size_t kRecordFormulaOffset = 4;  // int32, into QUORVANE.FRM
constexpr std::size_t kRecordLinesOffset = 8;    // int32, into QUORVANE.DIS
constexpr std::size_t kRecordSubfileBits = 12;   // 32-bit set
constexpr std::size_t kRecordReserved16 = 16;    // int32
constexpr std::size_t kRecordReserved20 = 20;    // 16 bytes
constexpr std::size_t kRecordReserved36 = 36;    // 26 bytes
constexpr std::size_t kRecordSetChars = 62;      // 2 characters
constexpr std::size_t kRecordSerialChars = 64;   // 4 characters
constexpr std::size_t kRecordReserved68 = 68;    // byte
constexpr std::size_t kRecordReserved69 = 69;    // byte
constexpr std::size_t kRecordPresent = 70;       // byte, 0: empty slot
constexpr std::size_t kRecordDeleted = 71;       // "D": deleted
static_assert(kRecordDeleted + 1 == kIndexRecordSize);
static_assert(kRecordReserved36 + 26 == kRecordSetChars);
static_assert(kRecordReserved20 + 16 == kRecordReserved36);

// Names and formula records: int16 length, then the text.
constexpr std::size_t kTextLengthSize = 2;

// Line lists: int16 count, then entries of a double d-spacing and an int16 intensity.
constexpr std::size_t kLineCountSize = 2;
constexpr std::size_t kLineEntrySize = 10;
constexpr std::size_t kLineIntensity = 8;

// QUORVANE.ILS: a skipped word, the set value, the byte count, the table.
constexpr std::size_t kIlsHeaderSize = 6;
constexpr std::size_t kIlsSetValue = 2;
constexpr std::size_t kIlsByteCount = 4;
constexpr std::size_t kSetTableBytes = kSetTableSize * 4;
static_assert(kSetTableBytes == 396);

constexpr const char* BaseName = "QUORVANE";

// The text up to the first "~" or zero byte.
std::string TextBeforeTilde(const std::string& text)
{
    return text.substr(0, text.find_first_of(std::string("~\0", 2)));
}

// The text up to the first zero byte (the records are zero-terminated strings).
std::string TextBeforeZero(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// A record's name in a message, such as "the line list of pattern 12"; made
// only when a message needs it.
std::string RecordName(const char* what, std::int32_t pattern)
{
    return pattern == 0 ? std::string(what) : Format("%s of pattern %d", what, pattern);
}

} // namespace

// ---------------------------------------------------------------- pattern

const TLine& TReferencePattern::Line(std::int32_t i) const
{
    if (i < 1 || i > kMaxLines)
        i = 1;
    return lines_[static_cast<std::size_t>(i - 1)];
}

void TReferencePattern::Clear()
{
    patternNumber_.clear();
    nameN_.clear();
    nameC_.clear();
    formula_.clear();
    nameM_.clear();
    name_.clear();
    nameP_.clear();
    reserved36_.fill(0);
    reserved20_.fill(0);
    reserved16_ = 0;
    deleted_ = false;
    lineCount_ = 0;
    subfileBits_ = 0;
    reserved69_ = 1;
}

// ---------------------------------------------------------------- names

void ParseNames(const std::string& text, std::string& nameP, std::string& nameM,
                std::string& nameC, std::string& nameN, std::string& name)
{
    nameP.clear();
    nameM.clear();
    nameC.clear();
    nameN.clear();
    std::size_t start = 0;
    for (std::size_t p = 2; p < text.size(); ++p) {
        if (text[p] != '~' || text[p - 2] != '~')
            continue;
        std::string* target = nullptr;
        switch (text[p - 1]) {
        case 'P': target = &nameP; break;
        case 'M': target = &nameM; break;
        case 'C': target = &nameC; break;
        case 'N': target = &nameN; break;
        default: break; // unknown tag: its item stays in front of the next one
        }
        if (target == nullptr)
            continue;
        // The item runs from `start` to just before the marker's first "~";
        // markers that overlap the previous one leave an empty item.
        const std::size_t end = p - 2;
        *target = end > start ? TextBeforeZero(text.substr(start, end - start)) : std::string();
        start = p + 1;
    }
    if (!nameM.empty())
        name = nameM;
    else if (!nameC.empty())
        name = nameC;
    else if (!nameP.empty())
        name = nameP;
    else if (!nameN.empty())
        name = nameN;
    else
        name = TextBeforeTilde(text);
}

// ---------------------------------------------------------------- files

// One source file opened for reading at byte offsets, with its size known so
// that every read is checked against the end before it happens. A pattern
// takes several small reads of each file, mostly in the order of the file:
// they are served from blocks read ahead.
class TSourceFile {
public:
    TSourceFile(const std::filesystem::path& path, std::string pathText);

    std::uint64_t Size() const { return size_; }

    // Reads `size` bytes at `offset` into `dest`; `what` (with the number of
    // the pattern when it is not 0) names the record for the message when
    // the file does not hold them.
    void ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t size, const char* what,
                std::int32_t pattern = 0);

private:
    TFileHandle file_;
    std::string pathText_;
    std::uint64_t size_ = 0;
    TReadAhead readAhead_{64 * 1024};
};


TSourceFile::TSourceFile(const std::filesystem::path& path, std::string pathText)
    : pathText_(std::move(pathText))
{
    // A folder, pipe or device in the file's place is refused before it is
    // opened, and again once open (something put in its place meanwhile):
    // reading a pipe would wait for a writer.
    size_ = RegularFileSize(path);
    file_ = TFileHandle::Open(path, FileOpening::ReadFollowingLinks);
}

void TSourceFile::ReadAt(std::int64_t offset, std::uint8_t* dest, std::size_t size, const char* what,
                         std::int32_t pattern)
{
    if (offset < 0)
        ThrowCannotReadFile(pathText_, Format("%s has the offset %lld, before the start of the file",
                                              RecordName(what, pattern).c_str(), static_cast<long long>(offset)));
    if (static_cast<std::uint64_t>(offset) > size_ || size > size_ - static_cast<std::uint64_t>(offset))
        ThrowCannotReadFile(pathText_,
                            Format("%s (%zu bytes at offset %lld) runs past the end of the file (%llu bytes)",
                                   RecordName(what, pattern).c_str(), size, static_cast<long long>(offset),
                                   static_cast<unsigned long long>(size_)));
    if (size == 0)
        return;
    const MutableBytes bytes(dest, size);
    if (readAhead_.Read(file_, static_cast<std::uint64_t>(offset), bytes, size_))
        return;
    if (file_.ReadSomeAt(static_cast<std::uint64_t>(offset), bytes) != size)
        ThrowCannotReadFile(pathText_, Format("%s could not be read", RecordName(what, pattern).c_str()));
}

// The four files of an open database, opened in the order index, line lists,
// names, formulas and closed in reverse order.
struct TReferenceDatabase::OpenFiles {
    TSourceFile Ind;
    TSourceFile Dis;
    TSourceFile Nam;
    TSourceFile Frm;
};

// ---------------------------------------------------------------- database

TReferenceDatabase::TReferenceDatabase() = default;

TReferenceDatabase::~TReferenceDatabase() = default;

std::string TReferenceDatabase::FilePathText(const char* extension) const
{
    return IncludeTrailingPathDelimiter(databaseName_) + BaseName + extension;
}

std::filesystem::path TReferenceDatabase::FindFile(const char* extension) const
{
    const std::string name = std::string(BaseName) + extension;
    if (databaseName_.empty()) {
        // The current folder: the plain name, or its match in another letter case.
        const std::filesystem::path found = FindSourceFile(".", name);
        return found.filename();
    }
    return FindSourceFile(PathFromText(databaseName_), name);
}

void TReferenceDatabase::Open()
{
    Close();
    // Something other than a file in a file's place is no missing file: the
    // opening below refuses it with an error naming it.
    for (const char* extension : {".IND", ".DIS", ".NAM", ".FRM"})
        if (FileMissing(FindFile(extension)))
            throw ERefDBError("File " + FilePathText(extension) + " not found.");
    const auto open = [this](const char* extension) {
        const std::filesystem::path path = FindFile(extension);
        return TSourceFile(path, PathText(path));
    };
    // A braced list runs left to right, so the files open in this order.
    files_ = std::unique_ptr<OpenFiles>(new OpenFiles{open(".IND"), open(".DIS"), open(".NAM"), open(".FRM")});
    try {
        ReadHeader();
        if (isReferenceDatabase_)
            ReadSetTable();
    } catch (...) {
        files_.reset();
        throw;
    }
    active_ = true;
}

void TReferenceDatabase::ReadHeader()
{
    if (files_->Ind.Size() < kIndexRecordSize)
        throw EAssertionFailed("Assertion failure", __FILE__, __LINE__);
    IndexRecord header{};
    files_->Ind.ReadAt(0, header.data(), header.size(), "the header record");
    patternCount_ = ReadI32LE(header, kHeaderPatternCount);
    isReferenceDatabase_ = ReadU8(header, kHeaderReferenceFlag) != 0;
    headerTag_ = ReadBytesAsString(header, kHeaderTagFirst, 2);
    setValue_ = ReadI8(header, kHeaderSetValue);
}

void TReferenceDatabase::ReadSetTable()
{
    const std::filesystem::path path = FindFile(".ILS");
    if (FileMissing(path)) {
        UseBuiltInSetTable();
        return;
    }
    TSourceFile ils(path, PathText(path));
    std::array<std::uint8_t, kIlsHeaderSize> header{};
    ils.ReadAt(0, header.data(), header.size(), "the set table header");
    setValue_ = ReadI16LE(header, kIlsSetValue);
    // A negative count reads nothing; more than the table holds is cut to its size.
    const auto count = static_cast<std::size_t>(
        std::clamp<int>(ReadI16LE(header, kIlsByteCount), 0, static_cast<int>(kSetTableBytes)));
    std::array<std::uint8_t, kSetTableBytes> table{};
    ils.ReadAt(kIlsHeaderSize, table.data(), count, "the set table");
    for (std::size_t i = 0; i < setTable_.size(); ++i)
        setTable_[i] = ReadI32LE(table, 4 * i);
}

void TReferenceDatabase::UseBuiltInSetTable()
{
    // Without QUORVANE.ILS every set maps to itself: entry k holds set k + 1.
    for (std::size_t i = 0; i < setTable_.size(); ++i)
        setTable_[i] = static_cast<std::int32_t>(i + 1);
}

void TReferenceDatabase::Close()
{
    files_.reset();
    active_ = false;
}

std::string TReferenceDatabase::ReadTextRecord(TSourceFile& file, std::int32_t offset, const char* what,
                                               std::int32_t index)
{
    std::array<std::uint8_t, kTextLengthSize> lengthBytes{};
    file.ReadAt(offset, lengthBytes.data(), lengthBytes.size(), what, index);
    // The text area holds at most 400 bytes: a longer record is read up to
    // that size, a negative length gives an empty text.
    const auto length =
        static_cast<std::size_t>(std::clamp<int>(ReadI16LE(lengthBytes, 0), 0, kMaxRecordText));
    std::string text(length, '\0');
    file.ReadAt(std::int64_t{offset} + static_cast<std::int64_t>(kTextLengthSize),
                reinterpret_cast<std::uint8_t*>(text.data()), length, what, index);
    return text;
}

void TReferenceDatabase::ReadNames(const IndexRecord& record, std::int32_t index)
{
    const std::string text = ReadTextRecord(files_->Nam, ReadI32LE(record, kRecordNamesOffset),
                                            "the names record", index);
    ParseNames(text, scratch_.nameP_, scratch_.nameM_, scratch_.nameC_, scratch_.nameN_, scratch_.name_);
}

void TReferenceDatabase::ReadFormula(const IndexRecord& record, std::int32_t index)
{
    const std::string text = ReadTextRecord(files_->Frm, ReadI32LE(record, kRecordFormulaOffset),
                                            "the formula record", index);
    scratch_.formula_ = TextBeforeTilde(text);
}

void TReferenceDatabase::ReadLines(const IndexRecord& record, std::int32_t index)
{
    const std::int32_t offset = ReadI32LE(record, kRecordLinesOffset);
    const char* const what = "the line list";
    std::array<std::uint8_t, kLineCountSize> countBytes{};
    files_->Dis.ReadAt(offset, countBytes.data(), countBytes.size(), what, index);
    // A count below 1 gives no lines; more than a pattern holds are cut.
    const auto count = static_cast<std::size_t>(std::clamp<int>(ReadI16LE(countBytes, 0), 0, kMaxLines));
    std::vector<std::uint8_t> entries(count * kLineEntrySize);
    files_->Dis.ReadAt(std::int64_t{offset} + static_cast<std::int64_t>(kLineCountSize), entries.data(),
                       entries.size(), what, index);
    for (std::size_t i = 0; i < count; ++i) {
        scratch_.lines_[i].D = ReadF64LE(entries, i * kLineEntrySize);
        scratch_.lines_[i].Intensity = ReadI16LE(entries, i * kLineEntrySize + kLineIntensity);
    }
    scratch_.lineCount_ = static_cast<std::int16_t>(count);
}

void TReferenceDatabase::ReadPattern(std::int32_t index, TReferencePattern& pattern)
{
    NORRVIK_ASSERT(active_, "The Quorvane database is not open");
    NORRVIK_ASSERT(index >= 1, "Pattern index must be 1 or more");
    scratch_.Clear();
    IndexRecord record{};
    files_->Ind.ReadAt(std::int64_t{index} * static_cast<std::int64_t>(kIndexRecordSize), record.data(),
                       record.size(), "the index record", index);
    scratch_.present_ = ReadU8(record, kRecordPresent) != 0;
    if (scratch_.present_) {
        std::copy_n(record.begin() + kRecordReserved20, scratch_.reserved20_.size(), scratch_.reserved20_.begin());
        std::copy_n(record.begin() + kRecordReserved36, scratch_.reserved36_.size(), scratch_.reserved36_.begin());
        scratch_.subfileBits_ = ReadU32LE(record, kRecordSubfileBits);
        scratch_.reserved16_ = ReadI32LE(record, kRecordReserved16);
        scratch_.deleted_ = ReadU8(record, kRecordDeleted) == 'D';
        scratch_.reserved68_ = ReadU8(record, kRecordReserved68);
        scratch_.reserved69_ = ReadU8(record, kRecordReserved69);
        scratch_.patternNumber_ = "  -    ";
        scratch_.patternNumber_.replace(0, 2, ReadBytesAsString(record, kRecordSetChars, 2));
        scratch_.patternNumber_.replace(3, 4, ReadBytesAsString(record, kRecordSerialChars, 4));
        ReadNames(record, index);
        ReadFormula(record, index);
        ReadLines(record, index);
    }
    pattern = scratch_;
}

} // namespace norrvik::pdf1
