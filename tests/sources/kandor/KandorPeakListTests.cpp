// Tests of the Kandor peak list: refused peaks, loading a pattern file and
// the measurement data answered from the file.
#include "sources/kandor/KandorPeakList.h"

#include "KandorTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace norrvik;
using namespace norrvik::test;

namespace {

const std::string kPositionMessage = "The allowed range for the peak position is <0.001-179.999>.";

} // namespace

TEST(KandorPeakList, RefusesPeaksItCannotHold)
{
    TKandorPeakList list;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, 0.0, 1, 0, 0, -1); }), kPositionMessage);
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, 180.0, 1, 0, 0, -1); }), kPositionMessage);
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, nan, 1, 0, 0, -1); }), kPositionMessage);
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, 20.0, -0.5, 0, 0, -1); }), "The peak height must be >= 0.");
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, 20.0, nan, 0, 0, -1); }), "The peak height must be >= 0.");
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, 20.0, 1, -1, 0, -1); }), "The background must be >= 0.");
    EXPECT_EQ(list.Count(), 0);
    // Position is checked before height.
    EXPECT_EQ(MessageOf([&] { list.AddPeak(false, 0.0, -1, -1, 0, -1); }), kPositionMessage);

    list.AddPeak(false, 0.005, 0, 0, -3, -7); // width and figure are not checked
    list.AddPeak(false, 179.999, 0, 0, 0, -1);
    list.AddPeak(false, 0.001, 0, 0, 0, -1);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Peaks(0).Position(), 0.001);

    // Copying from a plain list validates through the same rule.
    TXRDPeakList plain;
    plain.AddPeak(false, 0.0, 1, 0, 0, -1);
    EXPECT_EQ(MessageOf([&] { list.Assign(plain); }), kPositionMessage);
}

TEST(KandorPeakList, LoadsFilePeaksInPositionOrder)
{
    TempFolder folder;
    KandorHeader header;
    header.WavelengthAlpha1 = 1.78897;
    header.WavelengthAlpha2 = 1.79285;
    header.IntensityRatio = 0.4;
    header.Slit = 'F';
    const std::string path = PutFile(folder, "desc.di",
                                     KandorPeakListFile(header, {KandorPeakAt(50, 100), KandorPeakAt(30, 400, 4),
                                                                 KandorPeakAt(10, 9)}));
    TKandorPeakList list;
    int calls = 0;
    list.AddObserver([&](TXRDPeakListObserver&) { ++calls; });
    list.LoadFromFile(path);
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Peaks(0).Position(), 10.0);
    EXPECT_EQ(list.Peaks(1).Position(), 30.0);
    EXPECT_EQ(list.Peaks(1).Height(), 400.0);
    EXPECT_EQ(list.Peaks(1).Background(), 4.0);
    EXPECT_EQ(list.Peaks(2).Position(), 50.0);
    EXPECT_FALSE(list.Peaks(2).Marked());

    EXPECT_EQ(list.WavelengthAlpha1(), 1.78897);
    EXPECT_EQ(list.WavelengthAlpha2(), 1.79285);
    EXPECT_EQ(list.IntensityRatio(), 0.4);
    EXPECT_TRUE(list.FixedSlit());
    EXPECT_EQ(list.FileName(), path);
    list.SetWavelengthAlpha1(1.0);
    EXPECT_EQ(list.WavelengthAlpha1(), 1.78897);
    EXPECT_NEAR(list.Peaks(1).DSpacing(), 1.78897 / (2 * std::sin(15.0 * 3.14159265358979323846 / 180.0)),
                1e-12);
}

TEST(KandorPeakList, EmptyAndRefusedFiles)
{
    TempFolder folder;
    TKandorPeakList list;
    for (const std::int16_t count : {std::int16_t{0}, std::int16_t{-5}}) {
        KandorHeader header;
        header.PeakCount = count;
        list.LoadFromFile(PutFile(folder, "empty.di", KandorPeakListFile(header, {KandorPeakAt(10, 1)})));
        EXPECT_EQ(list.Count(), 0) << count;
    }

    // A scan loads as an empty list unless its peak-count field is positive.
    KandorHeader scan;
    scan.FileType = "RD";
    scan.StepWord = 10;
    list.LoadFromFile(PutFile(folder, "scan.rp", KandorScanFile(scan, 20)));
    EXPECT_EQ(list.Count(), 0);
    scan.PeakCount = 1;
    const std::string scanPath = PutFile(folder, "scan2.rp", KandorScanFile(scan, 20));
    EXPECT_EQ(MessageOf([&] { list.LoadFromFile(scanPath); }),
              "The Kandor pattern isn't a peak list. (" + scanPath + ")");

    // A refused record ends the load naming the file; peaks before it stay.
    const std::string zero = PutFile(folder, "zero.di",
                                     KandorPeakListFile({}, {KandorPeakAt(20, 1), KandorPeakWords{}}));
    EXPECT_EQ(MessageOf([&] { list.LoadFromFile(zero); }), kPositionMessage + " (" + zero + ")");
    EXPECT_EQ(list.Count(), 1);
    KandorPeakWords at180 = KandorPeakAt(20, 1);
    at180.Position = 36000;
    const std::string high = PutFile(folder, "high.di", KandorPeakListFile({}, {at180}));
    EXPECT_THROW(list.LoadFromFile(high), EInvalidPeak);
    EXPECT_EQ(list.UpdateCount(), 0);
    KandorPeakWords lowest = KandorPeakAt(20, 1);
    lowest.Position = 1; // 0.005 degrees
    list.LoadFromFile(PutFile(folder, "low.di", KandorPeakListFile({}, {lowest})));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Peaks(0).Position(), static_cast<double>(0.005f));
}

TEST(KandorPeakList, FailedFileLoadKeepsThePeaks)
{
    TempFolder folder;
    TKandorPeakList list;
    int calls = 0;
    list.AddObserver([&](TXRDPeakListObserver&) { ++calls; });
    list.LoadFromFile(PutFile(folder, "good.di", KandorPeakListFile({}, {KandorPeakAt(20, 1)})));
    calls = 0;
    EXPECT_THROW(list.LoadFromFile(PutFile(folder, "bad.di", std::vector<std::uint8_t>(10, 0))), eKandor);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_EQ(calls, 0); // nothing changed, nobody told
    EXPECT_THROW(list.WavelengthAlpha1(), eKandor);
}
