// The in-memory peak list: peaks, sorting, copying and change notification.
#include "sources/kandor/XrdPeakList.h"

#include "common/Exceptions.h"
#include "common/Numbers.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace norrvik {

namespace {

// Peak positions below this are treated as this when dividing by sin(theta),
// so that a peak at 0 degrees does not divide by zero.
constexpr double kMinimumDivisorPosition = 0.0001;

template <typename T>
void StoreIfDifferent(T& field, T value)
{
    if (field != value)
        field = value;
}

// Ascending position; a position that is not a number sorts after all
// numbers, so the order is a strict weak order whatever the values.
bool PositionBefore(const TXRDPeak& a, const TXRDPeak& b)
{
    const bool aIsNumber = !std::isnan(a.Position());
    const bool bIsNumber = !std::isnan(b.Position());
    if (!aIsNumber || !bIsNumber)
        return aIsNumber && !bIsNumber;
    return a.Position() < b.Position();
}

} // namespace

void TXRDPeak::SetMarked(bool value) { StoreIfDifferent(marked_, value); }
void TXRDPeak::SetBackground(double value) { StoreIfDifferent(background_, value); }
void TXRDPeak::SetHeight(double value) { StoreIfDifferent(height_, value); }
void TXRDPeak::SetPosition(double value)
{
    if (owner_ != nullptr)
        owner_->SortPendingPeaks();
    StoreIfDifferent(position_, value);
    if (owner_ != nullptr)
        owner_->positionChanged_ = true;
}
void TXRDPeak::SetFigure(float value) { StoreIfDifferent(figure_, value); }
void TXRDPeak::SetWidth(float value) { StoreIfDifferent(width_, value); }

double TXRDPeak::DSpacing() const
{
    if (owner_ == nullptr)
        throw Exception("The owner of the peak must be of type TPeakList");
    return DSpacingFromTwoTheta(owner_->WavelengthAlpha1(), position_);
}

TXRDPeakList::TXRDPeakList() = default;
TXRDPeakList::~TXRDPeakList() = default;

double TXRDPeakList::MaxHeight() const
{
    double result = -1e300;
    for (const auto& peak : peaks_)
        if (peak->Height() > result)
            result = peak->Height();
    return result;
}

int TXRDPeakList::Count() const
{
    return static_cast<int>(peaks_.size());
}

void TXRDPeakList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw Exception("Illegal index");
}

TXRDPeak& TXRDPeakList::Peaks(int index) const
{
    CheckIndex(index);
    SortPendingPeaks();
    return *peaks_[static_cast<std::size_t>(index)];
}

void TXRDPeakList::StoreNotifying(double& field, double value)
{
    if (field == value)
        return;
    field = value;
    Changed();
}

void TXRDPeakList::SetEndPosition(double value) { StoreNotifying(endPosition_, value); }
void TXRDPeakList::SetIntensityRatio(double value) { StoreNotifying(intensityRatio_, value); }
void TXRDPeakList::SetStartPosition(double value) { StoreNotifying(startPosition_, value); }
void TXRDPeakList::SetWavelengthAlpha1(double value) { StoreNotifying(wavelengthAlpha1_, value); }
void TXRDPeakList::SetWavelengthAlpha2(double value) { StoreNotifying(wavelengthAlpha2_, value); }

void TXRDPeakList::SetFixedSlit(bool value)
{
    if (fixedSlit_ == value)
        return;
    fixedSlit_ = value;
    Changed();
}

void TXRDPeakList::SetFileName(const std::string& value)
{
    StoreIfDifferent(fileName_, value);
}

void TXRDPeakList::SetPeaks(int index, std::unique_ptr<TXRDPeak> peak)
{
    CheckIndex(index);
    NORRVIK_ASSERT(peak != nullptr, "SetPeaks needs a peak");
    SortPendingPeaks(); // the index counts in position order
    peak->SetOwner(this);
    auto& slot = peaks_[static_cast<std::size_t>(index)];
    replacedPeaks_.reserve(replacedPeaks_.size() + 1);
    replacedPeaks_.push_back(std::exchange(slot, std::move(peak)));
    sortPending_ = true;
    Changed();
}

void TXRDPeakList::AddPeak(bool marked, double position, double height, double background,
                           double width, double figure)
{
    // Filled before it joins the list, so that setting its position does
    // not sort the list's pending appends.
    auto peak = std::make_unique<TXRDPeak>(nullptr);
    peak->SetPosition(position);
    peak->SetHeight(height);
    peak->SetBackground(background);
    peak->SetWidth(static_cast<float>(width));
    peak->SetFigure(static_cast<float>(figure));
    peak->SetMarked(marked);
    peak->SetOwner(this);
    // A peak at or after the last one keeps an ordered list in order.
    if (positionChanged_ || (!peaks_.empty() && PositionBefore(*peak, *peaks_.back())))
        sortPending_ = true;
    peaks_.push_back(std::move(peak));
    Changed();
}

void TXRDPeakList::MultiplyBySinTheta()
{
    for (auto& peak : peaks_) {
        const double s = SineOfDegrees(peak->Position() / 2.0);
        peak->SetHeight(peak->Height() * s);
        peak->SetBackground(peak->Background() * s);
    }
}

void TXRDPeakList::DivideBySinTheta()
{
    for (auto& peak : peaks_) {
        const double position =
            peak->Position() < kMinimumDivisorPosition ? kMinimumDivisorPosition : peak->Position();
        const double s = SineOfDegrees(position / 2.0);
        peak->SetHeight(peak->Height() / s);
        peak->SetBackground(peak->Background() / s);
    }
}

void TXRDPeakList::LoadFromFile(const std::string& fileName)
{
    fileName_ = fileName;
}

void TXRDPeakList::Assign(const TXRDPeakList& source)
{
    // Copying a list onto itself would clear it before reading its peaks.
    if (&source == this)
        return;
    SetEndPosition(source.EndPosition());
    SetFileName(source.FileName());
    SetFixedSlit(source.FixedSlit());
    SetIntensityRatio(source.IntensityRatio());
    SetStartPosition(source.StartPosition());
    SetWavelengthAlpha1(source.WavelengthAlpha1());
    SetWavelengthAlpha2(source.WavelengthAlpha2());
    Clear();
    for (int i = 0; i < source.Count(); ++i) {
        const TXRDPeak& peak = source.Peaks(i);
        AddPeak(peak.Marked(), peak.Position(), peak.Height(), peak.Background(), peak.Width(),
                peak.Figure());
    }
}

void TXRDPeakList::Clear()
{
    peaks_.clear();
    sortPending_ = false;
    positionChanged_ = false;
    Changed();
}

void TXRDPeakList::SortByPosition()
{
    sortPending_ = true;
    SortPendingPeaks();
}

void TXRDPeakList::SortPendingPeaks() const
{
    if (!sortPending_)
        return;
    // Stable: peaks of equal position keep the order they were added in.
    std::stable_sort(peaks_.begin(), peaks_.end(),
                     [](const auto& a, const auto& b) { return PositionBefore(*a, *b); });
    sortPending_ = false;
    positionChanged_ = false;
}

void TXRDPeakList::BeginUpdate()
{
    ++updateCount_;
    if (updateCount_ == 1)
        changePending_ = false;
}

void TXRDPeakList::EndUpdate()
{
    --updateCount_;
    if (updateCount_ == 0 && changePending_)
        Changed();
}

void TXRDPeakList::Changed()
{
    if (updateCount_ != 0) {
        changePending_ = true;
        return;
    }
    changePending_ = false;
    // Index loop with a local reference: a handler may add or remove observers.
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        const std::shared_ptr<TXRDPeakListObserver> observer = observers_[i];
        if (observer->Enabled && observer->OnChange)
            observer->OnChange(*observer);
    }
}

std::shared_ptr<TXRDPeakListObserver>
TXRDPeakList::AddObserver(std::function<void(TXRDPeakListObserver&)> handler)
{
    auto observer = std::make_shared<TXRDPeakListObserver>();
    observer->OnChange = std::move(handler);
    observers_.push_back(observer);
    return observer;
}

void TXRDPeakList::RemoveObserver(const TXRDPeakListObserver* observer)
{
    std::erase_if(observers_, [observer](const auto& item) { return item.get() == observer; });
}

TPeakListUpdate::~TPeakListUpdate()
{
    if (list_ == nullptr)
        return;
    try {
        list_->EndUpdate();
    } catch (...) {
        // Only reached while an exception is already leaving the bracket;
        // that one is what the caller needs to see.
    }
}

void TPeakListUpdate::Close()
{
    TXRDPeakList* list = std::exchange(list_, nullptr);
    if (list != nullptr)
        list->EndUpdate();
}

} // namespace norrvik
