// Tests of the Kandor pattern file: the default header, header checks,
// angular values, typed reads and writes, and peak records.
#include "sources/kandor/KandorFiles.h"

#include "KandorTestSupport.h"
#include "common/ByteOrder.h"

#include <gtest/gtest.h>

#include <limits>

using namespace norrvik;
using namespace norrvik::test;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t size, const std::string& revision, const std::string& type)
{
    std::vector<std::uint8_t> bytes(size, 0);
    std::copy(revision.begin(), revision.end(), bytes.begin());
    std::copy(type.begin(), type.end(), bytes.begin() + 2);
    return bytes;
}

// Loads the bytes and returns the message of the failure, or "" on success.
std::string LoadMessage(TKandorpattern& pattern, const TempFolder& folder,
                        const std::vector<std::uint8_t>& bytes)
{
    const std::string path = PutFile(folder, "p.di", bytes);
    try {
        pattern.LoadFromFile(path);
    } catch (const eKandor& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(KandorPattern, NewHeaderIsAReadableV3ScanHeader)
{
    const TKandorpattern pattern;
    const auto& bytes = pattern.Buffer();
    ASSERT_EQ(bytes.size(), 250u);
    EXPECT_EQ(ReadBytesAsString(bytes, 0, 4), "V3RD");
    for (std::size_t i : {4u, 43u, 44u, 83u, 138u, 145u, 146u, 165u})
        EXPECT_EQ(bytes[i], 0) << i;
    for (std::size_t i : {84u, 93u, 118u, 125u, 126u, 127u, 128u, 204u, 205u, 238u, 247u, 249u})
        EXPECT_EQ(bytes[i], 0xFF) << i;
    for (std::size_t offset : {94u, 102u, 110u, 172u, 180u, 188u, 196u, 214u, 222u, 230u, 239u})
        EXPECT_EQ(ReadF64LE(bytes, offset), -12345.6789) << offset;
    EXPECT_TRUE(pattern.Valid());
    EXPECT_EQ(pattern.Revision(), "V3");
    EXPECT_EQ(pattern.WavelengthAlpha1(), UndefinedValue);
    EXPECT_EQ(pattern.ReadPeakCount(), -1); // the 0xFF filler
    EXPECT_FALSE(pattern.IsPeakList());
}

TEST(KandorPattern, SizesDecideWhetherAFileLoads)
{
    TempFolder folder;
    TKandorpattern pattern;
    const std::string tooSmall = "Corrupted - File size too small (" + folder.Text("p.di") + ")";

    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(249, "V3", "DI")), tooSmall);
    EXPECT_FALSE(pattern.Valid());
    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(250, "V3", "DI")), "");
    EXPECT_TRUE(pattern.IsPeakList());
    EXPECT_EQ(pattern.PeakCount(), 0);
    EXPECT_EQ(pattern.HeaderLimit(), 250);

    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(809, "V5", "RD")), tooSmall);
    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(810, "V5", "RD")),
              "No scan points (" + folder.Text("p.di") + ")");
    EXPECT_EQ(MessageOf([&] { pattern.Revision(); }),
              "Cannot read information from the Kandor pattern. (" + folder.Text("p.di") + ")");

    // Type "DI" is never extended, whatever the revision and size.
    KandorHeader header;
    header.Revision = "V5";
    std::vector<std::uint8_t> bytes = KandorPeakListFile(header, {KandorPeakAt(12.0, 100.0)});
    bytes.resize(900, 0);
    EXPECT_EQ(LoadMessage(pattern, folder, bytes), "");
    EXPECT_FALSE(pattern.Extended());
    EXPECT_EQ(pattern.GetPeak(0).Position, 12.0f);

    EXPECT_EQ(MessageOf([&] { pattern.LoadFromFile(folder.Text("missing.di")); }),
              "Kandor file not found. (" + folder.Text("missing.di") + ")");
}

TEST(KandorPattern, RevisionAndFileTypeMustBeKnown)
{
    TempFolder folder;
    TKandorpattern pattern;
    const std::string suffix = " (" + folder.Text("p.di") + ")";
    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(260, "v3", "DI")), "Incorrect revision: \"v3\"" + suffix);
    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(260, "V3", "di")), "Incorrect file type: \"di\"" + suffix);
    // A zeroed header: the NULs must not cut the message short.
    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(260, "", "")), "Incorrect revision: \"??\"" + suffix);
    EXPECT_EQ(LoadMessage(pattern, folder, Bytes(260, "D3", "")), "Incorrect file type: \"??\"" + suffix);
    for (const char* revision : {"V3", "V4", "V5", "D3"})
        for (const char* type : {"DI", "RD", "A2", "BK", "PK", "2D", "SM"}) {
            std::vector<std::uint8_t> bytes = Bytes(812, revision, type);
            WriteU16LE(bytes, 128, 10); // step 0.05
            EXPECT_EQ(LoadMessage(pattern, folder, bytes), "") << revision << type;
            EXPECT_EQ(pattern.IsPeakList(), std::string(type) == "DI");
            EXPECT_EQ(pattern.Extended(), std::string(revision) == "V5" && std::string(type) != "DI");
        }
}

TEST(KandorPattern, ShortScanGetsItsEndPositionCorrected)
{
    TempFolder folder;
    TKandorpattern pattern;
    KandorHeader header;
    header.Revision = "V4";
    header.FileType = "RD";
    header.StartDouble = 10.0;
    header.EndDouble = 60.0;
    header.StepDouble = 0.05;
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 500)), "");
    EXPECT_EQ(pattern.Size(), 1250u);
    EXPECT_EQ(pattern.PointCount(), 500);
    EXPECT_NEAR(pattern.EndPosition(), 34.95, 1e-12);
    EXPECT_EQ(ReadU16LE(pattern.Buffer(), 132), 6990);
    EXPECT_NEAR(ReadF64LE(pattern.Buffer(), 230), 34.95, 1e-12);

    // A scan holding all the points its range announces (or more) keeps it.
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 1001)), "");
    EXPECT_EQ(pattern.EndPosition(), 60.0);
    EXPECT_EQ(ReadU16LE(pattern.Buffer(), 132), 0);

    // With the half-step flag the stored range lies half a step outside.
    header.HalfStep = 1;
    header.Revision = "D3";
    header.StepWord = 10;   // 0.05
    header.StartWord = 1995; // 9.975
    header.EndWord = 12005;  // 60.025
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 500)), "");
    EXPECT_NEAR(pattern.StartPosition(), 10.0, 1e-12);
    EXPECT_NEAR(pattern.EndPosition(), 34.95, 1e-12);
    EXPECT_EQ(ReadU16LE(pattern.Buffer(), 132), 6995); // 34.975 x 200
}

TEST(KandorPattern, DoublesCountOnlyAboveRevisionD3)
{
    TempFolder folder;
    TKandorpattern pattern;
    KandorHeader header;
    header.FileType = "RD";
    header.StepWord = 10;
    header.StartWord = 2000;
    header.EndWord = 2400;
    header.StepDouble = 0.02;
    header.StartDouble = 5.0;
    header.EndDouble = 9.0;

    header.Revision = "D3";
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 100)), "");
    EXPECT_EQ(pattern.StepSize(), 0.05);
    EXPECT_EQ(pattern.StartPosition(), 10.0);
    EXPECT_EQ(pattern.EndPosition(), 12.0);

    header.Revision = "V3";
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 201)), "");
    EXPECT_EQ(pattern.StepSize(), 0.02);
    EXPECT_EQ(pattern.StartPosition(), 5.0);
    EXPECT_EQ(pattern.EndPosition(), 9.0);

    // A step double of 0 or below, or a range double of 0, falls back to the words.
    header.StepDouble = -1.0;
    header.StartDouble = 0.0;
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 201)), "");
    EXPECT_EQ(pattern.StepSize(), 0.05);
    EXPECT_EQ(pattern.StartPosition(), 10.0);
}

TEST(KandorPattern, ScanWithoutUsableStepIsRefusedClearly)
{
    TempFolder folder;
    TKandorpattern pattern;
    KandorHeader header;
    header.FileType = "SM";
    header.EndWord = 2000;
    EXPECT_EQ(LoadMessage(pattern, folder, KandorScanFile(header, 10)),
              "Corrupted - The step size of the scan is 0 (" + folder.Text("p.di") + ")");
    EXPECT_FALSE(pattern.Valid());

    header.StepWord = 10;
    header.EndDouble = std::numeric_limits<double>::infinity();
    EXPECT_NE(LoadMessage(pattern, folder, KandorScanFile(header, 10)).find("angular range"),
              std::string::npos);
}

TEST(KandorPattern, PeakRecordsAreDecoded)
{
    TempFolder folder;
    TKandorpattern pattern;
    KandorPeakWords words{1, 10, 300, 20, 15, 0xFFFF};
    ASSERT_EQ(LoadMessage(pattern, folder, KandorPeakListFile({}, {KandorPeakWords{}, words})), "");
    const KandorPeak peak = pattern.GetPeak(1);
    EXPECT_EQ(peak.Position, 0.005f);
    EXPECT_EQ(peak.Width, 0.05f);
    EXPECT_EQ(peak.Height, 900.0f);
    EXPECT_EQ(peak.Background, 4.0f);
    EXPECT_EQ(peak.Figure, 1.5f);
    const KandorPeak largest = [&] {
        KandorPeakWords big{0xFFFF, 0, 0xFFFF, 0, 0, 0};
        EXPECT_EQ(LoadMessage(pattern, folder, KandorPeakListFile({}, {big})), "");
        return pattern.GetPeak(0);
    }();
    EXPECT_EQ(largest.Height, static_cast<float>(65535.0 * 65535.0 / 100.0));
    EXPECT_EQ(largest.Position, static_cast<float>(65535.0 / 200.0));

    const std::string suffix = " (" + folder.Text("p.di") + ")";
    EXPECT_EQ(MessageOf([&] { pattern.GetPeak(1); }), "Index is out of range." + suffix);
    EXPECT_EQ(MessageOf([&] { pattern.GetPeak(-1); }), "Index is out of range." + suffix);

    KandorHeader scan;
    scan.FileType = "RD";
    scan.StepWord = 10;
    ASSERT_EQ(LoadMessage(pattern, folder, KandorScanFile(scan, 10)), "");
    EXPECT_EQ(MessageOf([&] { pattern.GetPeak(0); }), "The Kandor pattern isn't a peak list." + suffix);
}

TEST(KandorPattern, PeaksAnnouncedBeyondTheFileAreNeverRead)
{
    TempFolder folder;
    TKandorpattern pattern;
    KandorHeader header;
    header.PeakCount = 3;
    std::vector<std::uint8_t> bytes = KandorPeakListFile(header, {KandorPeakAt(10, 1), KandorPeakAt(20, 1)});
    bytes.resize(bytes.size() - 1); // the second record loses its last byte
    ASSERT_EQ(LoadMessage(pattern, folder, bytes), "");
    EXPECT_EQ(pattern.PeakCount(), 3);
    EXPECT_EQ(pattern.GetPeak(0).Position, 10.0f);
    EXPECT_EQ(MessageOf([&] { pattern.GetPeak(1); }),
              "Corrupted - Peak 2 of 3 lies beyond the end of the file (" + folder.Text("p.di") + ")");
    EXPECT_THROW(pattern.GetPeak(2), eKandor);
}

TEST(KandorPattern, TextReadsAreCleanedAndBounded)
{
    TempFolder folder;
    TKandorpattern pattern;
    std::vector<std::uint8_t> bytes = Bytes(900, "V5", "RD");
    WriteU16LE(bytes, 128, 10);
    const std::string field = std::string("  ABC\x07 ", 7);
    std::copy(field.begin(), field.end(), bytes.begin() + 4);
    const std::string cut = std::string("AB\0CD", 5);
    std::copy(cut.begin(), cut.end(), bytes.begin() + 44);
    bytes[127] = 'F';
    bytes[800] = 'Z';
    ASSERT_EQ(LoadMessage(pattern, folder, bytes), "");
    EXPECT_EQ(pattern.ReadString(4, 7), "ABC");
    EXPECT_EQ(pattern.ReadString(44, 5), "AB");
    EXPECT_EQ(pattern.ReadString(800, 1), "Z"); // inside the extended header
    EXPECT_EQ(pattern.ReadString(809, 2), "");
    EXPECT_EQ(pattern.ReadString(-1, 2), "");
    EXPECT_EQ(pattern.ReadString(4, 0), "");
    EXPECT_TRUE(pattern.FixedSlit());
    EXPECT_EQ(pattern.ReadByte(809), 0);
    EXPECT_THROW(pattern.ReadByte(810), eKandor);

    const TKandorpattern fresh; // 250-byte header
    EXPECT_EQ(fresh.ReadString(249, 2), "");
    EXPECT_EQ(MessageOf([&] { fresh.ReadDouble(243); }), "Index is out of range.");
    EXPECT_EQ(MessageOf([&] { fresh.ReadWord(-2); }), "Index is out of range.");
    EXPECT_NO_THROW(fresh.ReadDouble(242));
}

TEST(KandorPattern, WritesStayInsideTheHeader)
{
    TKandorpattern pattern;
    pattern.WriteWord(248, 0x1234);
    EXPECT_EQ(pattern.Buffer()[248], 0x34);
    EXPECT_EQ(pattern.Buffer()[249], 0x12);
    try {
        pattern.WriteDouble(243, 1.0);
        ADD_FAILURE() << "no exception";
    } catch (const eKandor&) {
        ADD_FAILURE() << "a plain exception was expected";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Index is out of range.");
    }
    EXPECT_EQ(MessageOf([&] { pattern.WriteString(245, 6, "TOOLONG"); }),
              "String \"TOOLONG\" doesn't fit in the header.");
    pattern.WriteString(4, 4, "ABCDEFG");
    EXPECT_EQ(ReadBytesAsString(pattern.Buffer(), 4, 5), std::string("ABCD\0", 5));
    pattern.WriteString(4, 4, "X");
    EXPECT_EQ(ReadBytesAsString(pattern.Buffer(), 4, 4), std::string("X\0\0\0", 4));

    TempFolder folder;
    EXPECT_NE(LoadMessage(pattern, folder, Bytes(100, "V3", "DI")), "");
    EXPECT_EQ(MessageOf([&] { pattern.WriteWord(130, 1); }),
              "Cannot write information to the Kandor pattern. (" + folder.Text("p.di") + ")");
}
