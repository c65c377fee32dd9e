// Tests of the in-memory peak list: order, access, notification, copying and
// d-spacings.
#include "sources/kandor/XrdPeakList.h"

#include "common/Exceptions.h"
#include "KandorTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>
#include <numbers>

using namespace norrvik;

using norrvik::test::MessageOf;

TEST(XrdPeakList, PeaksStaySortedAndEqualPositionsKeepTheirOrder)
{
    TXRDPeakList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.MaxHeight(), -1e300);
    EXPECT_EQ(MessageOf([&] { list.Peaks(0); }), "Illegal index");

    list.AddPeak(false, 30.0, 1.0, 0.0, 0.1, 2.5);
    list.AddPeak(true, 20.0, 2.0, 0.0, 0.0, -1.0);
    list.AddPeak(false, 20.0, 3.0, 0.5, 0.0, -1.0);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Peaks(0).Position(), 20.0);
    EXPECT_EQ(list.Peaks(0).Height(), 2.0); // the 20 added first
    EXPECT_TRUE(list.Peaks(0).Marked());
    EXPECT_EQ(list.Peaks(1).Height(), 3.0);
    EXPECT_EQ(list.Peaks(1).Background(), 0.5);
    EXPECT_EQ(list.Peaks(2).Position(), 30.0);
    EXPECT_EQ(list.Peaks(2).Width(), 0.1f);
    EXPECT_EQ(list.Peaks(2).Figure(), 2.5f);
    EXPECT_EQ(list.MaxHeight(), 3.0);
    EXPECT_EQ(MessageOf([&] { list.Peaks(3); }), "Illegal index");
    EXPECT_EQ(MessageOf([&] { list.Peaks(-1); }), "Illegal index");

    // Replacing a peak re-sorts; the replaced one stays usable.
    TXRDPeak& old = list.Peaks(0);
    auto replacement = std::make_unique<TXRDPeak>(nullptr);
    replacement->SetPosition(40.0);
    list.SetPeaks(0, std::move(replacement));
    EXPECT_EQ(list.Peaks(2).Position(), 40.0);
    EXPECT_EQ(list.Peaks(2).Owner(), &list);
    EXPECT_EQ(old.Height(), 2.0);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

// The order must be what re-sorting the whole list after every AddPeak
// gives, with position changes of single peaks taking effect only at the
// next AddPeak. A model list does exactly that, step by step.
TEST(XrdPeakList, OrderMatchesSortingAfterEveryAdd)
{
    std::uint32_t seed = 12345;
    const auto next = [&seed](std::uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    TXRDPeakList list;
    std::vector<std::pair<double, int>> model; // position, id (the height)
    const auto modelSort = [&] {
        std::stable_sort(model.begin(), model.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    };
    for (int step = 0; step < 400; ++step) {
        const std::uint32_t action = next(10);
        if (action < 7 || model.empty()) {
            const double position = static_cast<double>(next(40)) / 2.0;
            list.AddPeak(false, position, step, 0.0, 0.0, -1.0);
            model.emplace_back(position, step);
            modelSort();
        } else if (action < 9) {
            const std::size_t index = next(static_cast<std::uint32_t>(model.size()));
            const double position = static_cast<double>(next(40)) / 2.0;
            list.Peaks(static_cast<int>(index)).SetPosition(position);
            model[index].first = position; // no re-sort until the next add
        } else {
            list.Clear();
            model.clear();
        }
        if (step % 3 == 0 || step == 399) {
            ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
            for (std::size_t i = 0; i < model.size(); ++i) {
                ASSERT_EQ(list.Peaks(static_cast<int>(i)).Height(), model[i].second) << step;
                ASSERT_EQ(list.Peaks(static_cast<int>(i)).Position(), model[i].first) << step;
            }
        }
    }
}

TEST(XrdPeakList, ObserversHearOfChangesOnceUpdatesEnd)
{
    TXRDPeakList list;
    int calls = 0;
    TXRDPeakListObserver* seen = nullptr;
    auto observer = list.AddObserver([&](TXRDPeakListObserver& self) {
        ++calls;
        seen = &self;
    });

    list.SetWavelengthAlpha1(1.54056); // the value it already has
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(list.ChangePending());
    list.SetWavelengthAlpha1(1.5);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, observer.get());
    list.SetFileName("other"); // stored without notification
    EXPECT_EQ(calls, 1);

    list.BeginUpdate();
    list.BeginUpdate();
    list.AddPeak(false, 10.0, 1.0, 0.0, 0.0, -1.0);
    list.AddPeak(false, 11.0, 1.0, 0.0, 0.0, -1.0);
    list.AddPeak(false, 12.0, 1.0, 0.0, 0.0, -1.0);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(list.ChangePending());
    list.EndUpdate();
    EXPECT_EQ(calls, 1);
    list.EndUpdate();
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(list.ChangePending());

    observer->Enabled = false;
    list.Clear();
    EXPECT_EQ(calls, 2);
    observer->Enabled = true;
    list.RemoveObserver(observer.get());
    list.SetStartPosition(2.0);
    EXPECT_EQ(calls, 2);
}

namespace {

// A reader-like list whose wavelength comes from elsewhere.
class FixedWavelengthList : public TXRDPeakList {
public:
    double WavelengthAlpha1() const override { return 0.70930; }
};

} // namespace

TEST(XrdPeakList, DSpacingUsesTheOwnersWavelength)
{
    TXRDPeakList list;
    list.AddPeak(false, 30.0, 1.0, 0.0, 0.0, -1.0);
    EXPECT_NEAR(list.Peaks(0).DSpacing(), 1.54056 / (2.0 * std::sin(15.0 * std::numbers::pi / 180.0)), 1e-12);
    EXPECT_NEAR(list.Peaks(0).DSpacing(), 2.9761, 1e-4);

    FixedWavelengthList molybdenum;
    molybdenum.AddPeak(false, 30.0, 1.0, 0.0, 0.0, -1.0);
    EXPECT_NEAR(molybdenum.Peaks(0).DSpacing(), 0.70930 / (2.0 * std::sin(15.0 * std::numbers::pi / 180.0)), 1e-12);

    TXRDPeak orphan(nullptr);
    EXPECT_EQ(MessageOf([&] { orphan.DSpacing(); }), "The owner of the peak must be of type TPeakList");
}

TEST(XrdPeakList, SineScalingNeverDividesByZero)
{
    TXRDPeakList list;
    list.AddPeak(false, 0.0, 1.0, 1.0, 0.0, -1.0);
    list.AddPeak(false, 60.0, 10.0, 2.0, 0.0, -1.0);
    list.DivideBySinTheta();
    const double expected = 1.0 / std::sin(0.00005 * std::numbers::pi / 180.0);
    EXPECT_NEAR(list.Peaks(0).Height(), expected, expected * 1e-12);
    list.MultiplyBySinTheta();
    EXPECT_NEAR(list.Peaks(1).Height(), 10.0, 1e-12);
    EXPECT_NEAR(list.Peaks(1).Background(), 2.0, 1e-12);
}

TEST(XrdPeakList, AssignCopiesDataAndPeaks)
{
    FixedWavelengthList source;
    source.SetEndPosition(90.0);
    source.SetFixedSlit(true);
    source.SetFileName("scan.di");
    source.AddPeak(true, 25.0, 7.0, 1.0, 0.2, 3.0);
    source.AddPeak(false, 15.0, 5.0, 0.0, 0.0, -1.0);

    TXRDPeakList copy;
    copy.AddPeak(false, 99.0, 1.0, 0.0, 0.0, -1.0);
    copy.Assign(source);
    EXPECT_EQ(copy.EndPosition(), 90.0);
    EXPECT_TRUE(copy.FixedSlit());
    EXPECT_EQ(copy.FileName(), "scan.di");
    EXPECT_EQ(copy.WavelengthAlpha1(), 0.70930); // through the source's getter
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Peaks(0).Position(), 15.0);
    EXPECT_TRUE(copy.Peaks(1).Marked());
    EXPECT_EQ(copy.Peaks(1).Figure(), 3.0f);

    copy.Assign(copy); // onto itself: nothing lost
    EXPECT_EQ(copy.Count(), 2);
}
