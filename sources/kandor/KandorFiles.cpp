// The Kandor pattern file: loading, header checks, typed reads and writes,
// angular values and peak records.
#include "sources/kandor/KandorFiles.h"

#include "common/ByteOrder.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/Numbers.h"
#include "common/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string_view>

namespace norrvik {

using namespace kandor;

namespace {

constexpr std::array<std::string_view, 4> kRevisions{"V5", "V3", "D3", "V4"};
constexpr std::array<std::string_view, 6> kScanFileTypes{"RD", "A2", "BK", "PK", "2D", "SM"};
constexpr std::string_view kPeakListFileType = "DI";
constexpr std::string_view kExtendedRevision = "V5";
constexpr std::uint8_t kNewHeaderFiller = 0xFF;
constexpr std::array<int, 11> kNewHeaderDoubles{94, 102, 110, 172, 180, 188, 196, 214, 222, 230, 239};

struct TBlankField {
    int Offset;
    int Width;
};
constexpr std::array<TBlankField, 4> kNewHeaderTexts{{{4, 40}, {44, 40}, {138, 8}, {146, 20}}};

constexpr const char* kCannotRead = "Cannot read information from the Kandor pattern.";
constexpr const char* kCannotWrite = "Cannot write information to the Kandor pattern.";
constexpr const char* kOutOfRange = "Index is out of range.";
constexpr const char* kTooSmall = "Corrupted - File size too small";

// Angles are stored in words of 1/200 degree.
constexpr double kWordsPerDegree = 200.0;

template <std::size_t N>
bool IsOneOf(const std::array<std::string_view, N>& values, std::string_view text)
{
    return std::find(values.begin(), values.end(), text) != values.end();
}

// The square-root encoding of heights and backgrounds: the word holds ten
// times the square root of the value.
float DecodeSquared(std::uint16_t word)
{
    const double value = static_cast<double>(word);
    return static_cast<float>(value * value / 100.0);
}

// A header code as shown in a message: control bytes (a zeroed header holds
// NULs, which would end the message early) are shown as "?".
std::string Printable(std::string code)
{
    std::replace_if(code.begin(), code.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }, '?');
    return code;
}

} // namespace

TKandorpattern::TKandorpattern()
{
    NewHeader();
    pointCount_ = 0;
    peakCount_ = 0;
}

void TKandorpattern::Fail(const std::string& text) const
{
    if (filename_.empty())
        throw eKandor(text);
    throw eKandor(text + " (" + filename_ + ")");
}

int TKandorpattern::HeaderLimit() const
{
    return extended_ ? kExtendedHeaderSize : kHeaderSize;
}

void TKandorpattern::NewHeader()
{
    valid_ = true;
    extended_ = false;
    buffer_.assign(kHeaderSize, kNewHeaderFiller);
    WriteString(kRevisionOffset, 2, "V3");
    WriteString(kFileTypeOffset, 2, "RD");
    for (const TBlankField& field : kNewHeaderTexts)
        WriteString(field.Offset, field.Width, "");
    for (const int offset : kNewHeaderDoubles)
        WriteDouble(offset, UndefinedValue);
}

void TKandorpattern::LoadFromFile(const std::string& fileName)
{
    filename_ = fileName;
    valid_ = false;
    const std::filesystem::path path = PathFromText(fileName);
    // Anything but a regular file (a folder, a pipe, a device) is refused
    // with an error naming it; no more is read than the file holds.
    std::uintmax_t expectedSize = 0;
    std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytesIfExists(path, &expectedSize);
    if (!bytes)
        Fail("Kandor file not found.");
    if (bytes->size() < expectedSize)
        Fail(kCannotRead);
    buffer_ = std::move(*bytes);
    Validate();
}

void TKandorpattern::Validate()
{
    valid_ = false;
    extended_ = false;
    isPeakList_ = false;
    peakCount_ = 0;
    pointCount_ = 0;
    if (buffer_.size() < static_cast<std::size_t>(kHeaderSize))
        Fail(kTooSmall);
    const std::string revision = ReadBytesAsString(buffer_, kRevisionOffset, 2);
    const std::string fileType = ReadBytesAsString(buffer_, kFileTypeOffset, 2);
    if (!IsOneOf(kRevisions, revision))
        Fail("Incorrect revision: \"" + Printable(revision) + "\"");
    if (fileType == kPeakListFileType)
        isPeakList_ = true;
    else if (!IsOneOf(kScanFileTypes, fileType))
        Fail("Incorrect file type: \"" + Printable(fileType) + "\"");
    valid_ = true;

    if (revision == kExtendedRevision && !isPeakList_) {
        extended_ = buffer_.size() >= static_cast<std::size_t>(kExtendedHeaderSize);
        if (!extended_) {
            valid_ = false;
            Fail(kTooSmall);
        }
    }

    if (isPeakList_) {
        peakCount_ = static_cast<std::int16_t>(ReadWord(kPeakCountOffset));
        return;
    }
    pointCount_ = static_cast<long>((buffer_.size() - static_cast<std::size_t>(HeaderLimit())) / 2);
    // Without points there is nothing to correct the range against; checked
    // first so that such a file is reported as what it is.
    if (pointCount_ <= 0) {
        valid_ = false;
        Fail("No scan points");
    }
    CorrectScanEndPosition();
}

// Points the header's end position at the last point present when the file
// holds fewer points than its range and step announce.
void TKandorpattern::CorrectScanEndPosition()
{
    const double step = StepSize();
    const double start = StartPosition();
    if (!(step > 0.0)) {
        valid_ = false;
        Fail("Corrupted - The step size of the scan is 0");
    }
    const double steps = (EndPosition() - start) / step - 0.001;
    if (!std::isfinite(steps)) {
        valid_ = false;
        Fail("Corrupted - The angular range of the scan is not a number");
    }
    const double expected = RoundHalfEven(steps) + 1.0;
    if (expected > static_cast<double>(pointCount_))
        SetEndPosition(start + step * static_cast<double>(pointCount_ - 1));
}

void TKandorpattern::CheckReadable() const
{
    if (!valid_)
        Fail(kCannotRead);
}

void TKandorpattern::CheckHeaderRange(int offset, int length) const
{
    if (offset < 0 || offset > HeaderLimit() - length)
        Fail(kOutOfRange);
}

std::uint8_t TKandorpattern::ReadByte(int offset) const
{
    CheckReadable();
    CheckHeaderRange(offset, 1);
    return ReadU8(buffer_, static_cast<std::size_t>(offset));
}

std::uint16_t TKandorpattern::ReadWord(int offset) const
{
    CheckReadable();
    CheckHeaderRange(offset, 2);
    return ReadU16LE(buffer_, static_cast<std::size_t>(offset));
}

double TKandorpattern::ReadDouble(int offset) const
{
    CheckReadable();
    CheckHeaderRange(offset, 8);
    return ReadF64LE(buffer_, static_cast<std::size_t>(offset));
}

std::string TKandorpattern::ReadString(int offset, int width) const
{
    CheckReadable();
    if (offset < 0 || width <= 0 || offset > HeaderLimit() - width)
        return {};
    std::string text = ReadBytesAsString(buffer_, static_cast<std::size_t>(offset),
                                         static_cast<std::size_t>(width));
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 32; });
    return Trim(text);
}

void TKandorpattern::WriteWord(int offset, std::uint16_t value)
{
    if (!valid_)
        Fail(kCannotWrite);
    if (offset < 0 || offset > HeaderLimit() - 2)
        throw Exception(kOutOfRange);
    WriteU16LE(buffer_, static_cast<std::size_t>(offset), value);
}

void TKandorpattern::WriteDouble(int offset, double value)
{
    if (!valid_)
        Fail(kCannotWrite);
    if (offset < 0 || offset > HeaderLimit() - 8)
        throw Exception(kOutOfRange);
    WriteF64LE(buffer_, static_cast<std::size_t>(offset), value);
}

void TKandorpattern::WriteString(int offset, int width, const std::string& text)
{
    if (offset < 0 || width < 0 ||
        static_cast<std::size_t>(offset) + static_cast<std::size_t>(width) > buffer_.size())
        throw Exception(Format("String \"%s\" doesn't fit in the header.", text.c_str()));
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(width));
    const auto field = buffer_.begin() + offset;
    std::copy_n(text.begin(), count, field);
    std::fill(field + static_cast<std::ptrdiff_t>(count), field + width, std::uint8_t{0});
}

std::string TKandorpattern::Revision() const
{
    return ReadString(kRevisionOffset, 2);
}

bool TKandorpattern::RevisionAboveD3() const
{
    return Revision() > std::string("D3");
}

double TKandorpattern::WavelengthAlpha1() const { return ReadDouble(kWavelengthAlpha1Offset); }
double TKandorpattern::WavelengthAlpha2() const { return ReadDouble(kWavelengthAlpha2Offset); }
double TKandorpattern::IntensityRatio() const { return ReadDouble(kIntensityRatioOffset); }
bool TKandorpattern::HalfStepOffset() const { return ReadByte(kHalfStepFlagOffset) != 0; }
bool TKandorpattern::FixedSlit() const { return ReadByte(kSlitOffset) == 'F'; }

double TKandorpattern::StepSize() const
{
    double step = ReadWord(kStepWordOffset) / kWordsPerDegree;
    if (RevisionAboveD3()) {
        const double precise = ReadDouble(kStepDoubleOffset);
        if (precise > 0.0)
            step = precise;
    }
    return step;
}

double TKandorpattern::RangeLimit(int wordOffset, int doubleOffset) const
{
    double value = ReadWord(wordOffset) / kWordsPerDegree;
    if (RevisionAboveD3()) {
        const double precise = ReadDouble(doubleOffset);
        if (precise != 0.0)
            value = precise;
    }
    return value;
}

double TKandorpattern::StartPosition() const
{
    const double start = RangeLimit(kStartWordOffset, kStartDoubleOffset);
    return HalfStepOffset() ? start + StepSize() / 2.0 : start;
}

double TKandorpattern::EndPosition() const
{
    const double end = RangeLimit(kEndWordOffset, kEndDoubleOffset);
    return HalfStepOffset() ? end - StepSize() / 2.0 : end;
}

void TKandorpattern::SetEndPosition(double value)
{
    if (HalfStepOffset())
        value += StepSize() / 2.0;
    WriteDouble(kEndDoubleOffset, value);
    if (value >= 0.0) {
        // Only the low 16 bits of the rounded value fit the word.
        const auto rounded = RoundHalfEvenClamped<std::int64_t>(value * kWordsPerDegree);
        WriteWord(kEndWordOffset, static_cast<std::uint16_t>(rounded & 0xFFFF));
    }
}

int TKandorpattern::ReadPeakCount() const
{
    try {
        return static_cast<std::int16_t>(ReadWord(kPeakCountOffset));
    } catch (const Exception&) {
        return 0;
    }
}

KandorPeak TKandorpattern::GetPeak(int index) const
{
    if (!isPeakList_)
        Fail("The Kandor pattern isn't a peak list.");
    if (index < 0 || index >= peakCount_)
        Fail(kOutOfRange);
    const std::size_t record = static_cast<std::size_t>(HeaderLimit()) +
                               static_cast<std::size_t>(kPeakRecordSize) * static_cast<std::size_t>(index);
    // The header may announce more peaks than the file holds.
    if (record + kPeakRecordSize > buffer_.size())
        Fail(Format("Corrupted - Peak %d of %d lies beyond the end of the file", index + 1,
                    peakCount_));
    const auto word = [&](int n) {
        return ReadU16LE(buffer_, record + 2 * static_cast<std::size_t>(n));
    };
    KandorPeak peak;
    peak.Position = static_cast<float>(word(kPeakPositionWord) / kWordsPerDegree);
    peak.Width = static_cast<float>(word(kPeakWidthWord) / kWordsPerDegree);
    peak.Height = DecodeSquared(word(kPeakHeightWord));
    peak.Background = DecodeSquared(word(kPeakBackgroundWord));
    peak.Figure = static_cast<float>(word(kPeakFigureWord) / 10.0);
    return peak;
}

} // namespace norrvik
