// A Kandor pattern file in memory: a 250-byte header (810 bytes for an
// extended "V5" scan header) followed by either 12-byte peak records (file
// type "DI") or 2-byte scan points (the other six types). TKandorpattern
// checks the header when a file is loaded and answers typed questions about
// it; every read goes through bounds-checked little-endian accessors and
// stays inside the header, whatever the file's count fields claim.
#pragma once

#include "common/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace norrvik {

// Failures of a Kandor pattern file. When the pattern was loaded from a
// file, the message ends with " (<file name>)".
class eKandor : public Exception {
public:
    using Exception::Exception;
};

// One decoded 12-byte peak record.
struct KandorPeak {
    float Position = 0.0f;   // degrees 2-theta
    float Width = 0.0f;      // degrees 2-theta
    float Height = 0.0f;     // counts, background included
    float Background = 0.0f; // counts
    float Figure = 0.0f;
};

// Written into every numeric field of a new header that was never set.
inline constexpr double UndefinedValue = -12345.6789;

namespace kandor {

inline constexpr int kHeaderSize = 250;
inline constexpr int kExtendedHeaderSize = 810;
inline constexpr int kPeakRecordSize = 12;

// Header offsets.
inline constexpr int kRevisionOffset = 0;        // 2 characters
inline constexpr int kFileTypeOffset = 2;        // 2 characters
inline constexpr int kWavelengthAlpha1Offset = 94; // double
inline constexpr int kWavelengthAlpha2Offset = 102; // double
inline constexpr int kIntensityRatioOffset = 110; // double
inline constexpr int kHalfStepFlagOffset = 126;  // byte, nonzero: range lies half a step outside
inline constexpr int kSlitOffset = 127;          // character, "F" for a fixed slit
inline constexpr int kStepWordOffset = 128;      // word, step x 200
inline constexpr int kStartWordOffset = 130;     // word, start x 200
inline constexpr int kEndWordOffset = 132;       // word, end x 200
inline constexpr int kPeakCountOffset = 204;     // smallint
inline constexpr int kStepDoubleOffset = 214;    // double, used above revision "D3"
inline constexpr int kStartDoubleOffset = 222;   // double, used above revision "D3"
inline constexpr int kEndDoubleOffset = 230;     // double, used above revision "D3"

// Words of a peak record (in words from the record's start).
inline constexpr int kPeakPositionWord = 0;   // position x 200
inline constexpr int kPeakWidthWord = 1;      // width x 200
inline constexpr int kPeakHeightWord = 2;     // 10 x sqrt(height)
inline constexpr int kPeakBackgroundWord = 3; // 10 x sqrt(background)
inline constexpr int kPeakFigureWord = 4;     // figure x 10

} // namespace kandor

class TKandorpattern {
public:
    // A readable default header: revision "V3", type "RD", every unset
    // number UndefinedValue and every unread byte 0xFF.
    TKandorpattern();

    // Reads and checks a file; on failure the pattern is left unreadable
    // until a later load succeeds.
    void LoadFromFile(const std::string& fileName);

    const std::string& Filename() const { return filename_; }
    void SetFilename(const std::string& value) { filename_ = value; }

    bool IsPeakList() const { return isPeakList_; }
    bool Extended() const { return extended_; }
    bool Valid() const { return valid_; }
    int PeakCount() const { return peakCount_; }
    long PointCount() const { return pointCount_; }
    std::size_t Size() const { return buffer_.size(); }
    const std::vector<std::uint8_t>& Buffer() const { return buffer_; }
    // 810 for an extended header, 250 otherwise: no typed read or write
    // reaches past it.
    int HeaderLimit() const;

    std::uint8_t ReadByte(int offset) const;
    std::uint16_t ReadWord(int offset) const;
    double ReadDouble(int offset) const;
    // The field cut at its first NUL, without control characters and
    // trimmed; empty for a field that does not lie inside the header.
    std::string ReadString(int offset, int width) const;

    void WriteWord(int offset, std::uint16_t value);
    void WriteDouble(int offset, double value);
    // Writes the text NUL-padded to `width` (cut at `width`).
    void WriteString(int offset, int width, const std::string& text);

    std::string Revision() const;
    double WavelengthAlpha1() const;
    double WavelengthAlpha2() const;
    double IntensityRatio() const;
    bool HalfStepOffset() const;
    bool FixedSlit() const;
    double StepSize() const;
    double StartPosition() const;
    double EndPosition() const;
    void SetEndPosition(double value);

    // The peak count of the header, 0 when it cannot be read.
    int ReadPeakCount() const;
    KandorPeak GetPeak(int index) const;
    void GetPeak(int index, KandorPeak& peak) const { peak = GetPeak(index); }

private:
    void NewHeader();
    void Validate();
    void CorrectScanEndPosition();
    bool RevisionAboveD3() const;
    // The start or end word in degrees, or the double when the revision has
    // one and it is set.
    double RangeLimit(int wordOffset, int doubleOffset) const;
    void CheckReadable() const;
    void CheckHeaderRange(int offset, int length) const;
    [[noreturn]] void Fail(const std::string& text) const;

    std::string filename_;
    std::vector<std::uint8_t> buffer_;
    bool isPeakList_ = false;
    bool extended_ = false;
    bool valid_ = false;
    int peakCount_ = 0;
    long pointCount_ = 0;
};

} // namespace norrvik
