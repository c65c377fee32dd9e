// A measured X-ray powder diffraction peak list in memory: TXRDPeak is one
// peak, TXRDPeakList the peaks sorted by position together with the
// measurement data needed to interpret them (wavelengths, intensity ratio,
// angular range, slit flag, source file). File readers derive from the list,
// answer the measurement data from their file through the virtual getters,
// validate peaks in AddPeak and fill the list in LoadFromFile.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace norrvik {

class TXRDPeakList;

// One peak; always owned by the list that holds it. Setters store the value
// only when it differs and tell nobody (the list is not re-sorted).
class TXRDPeak {
public:
    explicit TXRDPeak(TXRDPeakList* owner) : owner_(owner) {}

    TXRDPeakList* Owner() const { return owner_; }
    void SetOwner(TXRDPeakList* owner) { owner_ = owner; }

    bool Marked() const { return marked_; }
    double Background() const { return background_; }
    double Height() const { return height_; }
    double Position() const { return position_; }
    float Figure() const { return figure_; }
    float Width() const { return width_; }

    void SetMarked(bool value);
    void SetBackground(double value);
    void SetHeight(double value);
    // Does not re-sort the owner (the next AddPeak does); the owner's
    // pending appends are sorted first, as they would have been already.
    void SetPosition(double value);
    void SetFigure(float value);
    void SetWidth(float value);

    // The d-spacing of the peak from its position and the owner's K-Alpha1
    // wavelength (through the owner's virtual getter, so a reader's file
    // value is used). Raises norrvik::Exception when the peak has no owner.
    double DSpacing() const;

private:
    TXRDPeakList* owner_;
    bool marked_ = false;
    double background_ = 0.0;
    double height_ = 0.0;
    double position_ = 0.0;
    float figure_ = -1.0f; // -1 means "not given"
    float width_ = 0.0f;
};

// One party interested in changes of a list: a change handler that receives
// the observer itself, called only while Enabled is set.
struct TXRDPeakListObserver {
    bool Enabled = true;
    std::function<void(TXRDPeakListObserver&)> OnChange;
};

class TXRDPeakList {
public:
    TXRDPeakList();
    virtual ~TXRDPeakList();
    TXRDPeakList(const TXRDPeakList&) = delete;
    TXRDPeakList& operator=(const TXRDPeakList&) = delete;

    // Measurement data; readers override the getters.
    virtual double EndPosition() const { return endPosition_; }
    virtual std::string FileName() const { return fileName_; }
    virtual bool FixedSlit() const { return fixedSlit_; }
    virtual double IntensityRatio() const { return intensityRatio_; }
    virtual double StartPosition() const { return startPosition_; }
    virtual double WavelengthAlpha1() const { return wavelengthAlpha1_; }
    virtual double WavelengthAlpha2() const { return wavelengthAlpha2_; }

    // Largest height of all peaks; -1e300 for an empty list.
    virtual double MaxHeight() const;
    virtual int Count() const;
    // The peak at `index` (0-based); "Illegal index" outside 0 .. Count - 1.
    virtual TXRDPeak& Peaks(int index) const;

    // The six stored measurement values notify observers when they change;
    // the file name is stored without notification.
    virtual void SetEndPosition(double value);
    virtual void SetFileName(const std::string& value);
    virtual void SetFixedSlit(bool value);
    virtual void SetIntensityRatio(double value);
    virtual void SetStartPosition(double value);
    virtual void SetWavelengthAlpha1(double value);
    virtual void SetWavelengthAlpha2(double value);

    // Puts `peak` at `index` (the list takes it over), re-sorts and notifies.
    // The replaced peak stays alive until the list goes, so references to it
    // that callers hold stay valid.
    virtual void SetPeaks(int index, std::unique_ptr<TXRDPeak> peak);

    // Creates a peak, keeps the list sorted by position (peaks of equal
    // position stay in the order they were added) and notifies.
    virtual void AddPeak(bool marked, double position, double height, double background,
                         double width, double figure);

    // Scale every height and background by sin(theta) (no notification).
    virtual void MultiplyBySinTheta();
    virtual void DivideBySinTheta();

    // Base behaviour: remembers the file name and reads nothing.
    virtual void LoadFromFile(const std::string& fileName);

    // Copies the measurement data (through the source's getters and this
    // list's setters) and re-adds every peak through the virtual AddPeak, so
    // a validating reader validates copied peaks too.
    void Assign(const TXRDPeakList& source);

    // Destroys every peak, then notifies.
    void Clear();
    // Stable ascending sort by position (a position that is not a number
    // after all others).
    void SortByPosition();

    void BeginUpdate();
    void EndUpdate();
    // Notifies the enabled observers, or marks the change as pending while
    // an update is running.
    void Changed();

    bool ChangePending() const { return changePending_; }
    int UpdateCount() const { return updateCount_; }

    // Registers a change handler; the returned observer can be disabled or
    // handed to RemoveObserver.
    std::shared_ptr<TXRDPeakListObserver>
    AddObserver(std::function<void(TXRDPeakListObserver&)> handler);
    void RemoveObserver(const TXRDPeakListObserver* observer);

private:
    friend class TXRDPeak;

    void CheckIndex(int index) const;
    void StoreNotifying(double& field, double value);
    // Peaks are appended at once and sorted on the next access: loading n
    // peaks in descending order then costs one sort instead of n passes.
    // Every reader of the order sees exactly what sorting after each
    // append would have given.
    void SortPendingPeaks() const;

    bool changePending_ = false;
    double endPosition_ = 179.0;
    std::string fileName_;
    bool fixedSlit_ = false;
    double intensityRatio_ = 0.5;
    int updateCount_ = 0;
    std::vector<std::shared_ptr<TXRDPeakListObserver>> observers_;
    mutable std::vector<std::unique_ptr<TXRDPeak>> peaks_;
    mutable bool sortPending_ = false;
    // A peak's position changed since the last sort: the list stays as it
    // is until the next AddPeak, SetPeaks or SortByPosition sorts it all.
    mutable bool positionChanged_ = false;
    std::vector<std::unique_ptr<TXRDPeak>> replacedPeaks_;
    double startPosition_ = 1.0;
    double wavelengthAlpha1_ = 1.54056; // copper K-Alpha1
    double wavelengthAlpha2_ = 1.54439; // copper K-Alpha2
};

// Brackets a batch of changes with BeginUpdate/EndUpdate so that observers
// hear of it once. Close() ends the bracket on the normal path and lets an
// observer's failure through; when the bracket is left by an exception the
// destructor ends it and keeps the exception already on its way.
class TPeakListUpdate {
public:
    explicit TPeakListUpdate(TXRDPeakList& list) : list_(&list) { list_->BeginUpdate(); }
    ~TPeakListUpdate();
    TPeakListUpdate(const TPeakListUpdate&) = delete;
    TPeakListUpdate& operator=(const TPeakListUpdate&) = delete;

    void Close();

private:
    TXRDPeakList* list_;
};

} // namespace norrvik
