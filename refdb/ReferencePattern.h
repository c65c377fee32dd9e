// One reference pattern of the target database: the fixed 3310-byte pattern
// record, which is both the in-memory image of the pattern and, byte for byte,
// one record of ReferenceDatabase.PDB, plus the four lists of 70-column text
// lines kept in Comment.PDB and Literature.PDB (the record's layout, and that
// of the older 3307-byte variant, are in PatternLayout.h). Also the formula
// and name preferences a database hands to its patterns and the subfile table.
#pragma once

#include "common/ByteOrder.h"
#include "refdb/PatternDatabaseLink.h"
#include "refdb/PatternLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norrvik {

// The name type letters; a name type is an index into this table or the
// letter itself. 0 "C" compound name, 1 "M" mineral name, 7 "?" any letter
// that is not in the table.
inline constexpr std::string_view NameTypeLetters = "CM PNZF?";
inline constexpr int kCompoundNameType = 0;
inline constexpr int kMineralNameType = 1;

// The subfile table: row k describes bit k of a pattern's subfile mask, as
// "code=description". The first 29 rows are the default Subfiles.PDB.
inline constexpr std::size_t kSubfileCount = 32;
inline constexpr std::size_t kDefaultSubfileCount = 29;
extern const std::array<std::string_view, kSubfileCount> kSubfileTable;

// Bit 3 of the status marks a user pattern.
inline constexpr std::int16_t kUserPatternStatus = 8;

// A run of 70-byte line records in a side file; count 0 or a negative start
// holds no lines. An empty list is stored as start -1, count 0.
struct TextRange {
    std::int32_t First = -1;
    std::int16_t Count = 0;

    bool IsEmpty() const { return Count <= 0 || First < 0; }
    bool operator==(const TextRange&) const = default;
};

// The four text lists of a pattern.
enum class TextList {
    CodedComments,   // Comment.PDB, coded comment lines (colour, ...)
    Comments,        // Comment.PDB, free comment lines
    References,      // Literature.PDB, literature reference lines
    SupplementLines, // Literature.PDB, further lines carried unchanged
};
inline constexpr std::array<TextList, 4> kAllTextLists = {
    TextList::CodedComments, TextList::Comments, TextList::References,
    TextList::SupplementLines};

// The side file that holds a text list.
TextSideFile SideFileOf(TextList list);

// One diffraction line as shown to people: intensity relative to the
// strongest line, in percent.
struct DiffractionLine {
    float D = 0;
    float RelativeIntensity = 0;
    std::int16_t H = 0;
    std::int16_t K = 0;
    std::int16_t L = 0;
};

// One name of a pattern with its type letter.
// The Miller index of a line whose indices are not known (lines of the
// Quorvane format carry none).
inline constexpr std::int16_t kUnknownMillerIndex = -128;

struct TPatternName {
    char TypeLetter = '?';
    std::string Text;
};

// The fields of the first reference line selected by a code (columns counted
// from 1): journal name looked up from columns 1-6, the three short fields,
// and the authors of columns 22-67 with their continuation lines.
struct TReferenceLineFields {
    std::string Journal;
    std::string Authors;
    std::string Field17to20;
    std::string Field11to15;
    std::string Field7to10;
};

// Which formula and which name type a database shows first: two formula
// kinds (0 the first formula of the formula text, 1 the formula line),
// initially 0, 1; then eight name types, initially 0..7.
class TPreferencesForReferenceDatabase {
public:
    TPreferencesForReferenceDatabase();

    // Index 0 or 1; any other index raises "Invalid index".
    std::uint8_t GetFormulaPreference(int index) const;
    void SetFormulaPreference(int index, std::uint8_t kind);
    // Index 0..7; any other index raises "Invalid index".
    std::uint8_t GetNamePreference(int index) const;
    void SetNamePreference(int index, std::uint8_t nameType);

    const std::array<std::uint8_t, 10>& Bytes() const { return bytes_; }

private:
    std::array<std::uint8_t, 10> bytes_{};
};

class TReferencePattern {
public:
    // An empty pattern: all record bytes zero, empty lists, no database link
    // and no preferences.
    TReferencePattern();

    // ---- life cycle and copying ----

    // Zeroes the whole record, empties the four lists and drops the
    // preferences; the database link stays.
    void Clear();
    // Becomes a copy of `source`: its record, preferences and database link,
    // and its four lists (which `source` loads from its database first).
    void Assign(const TReferencePattern& source);

    // The raw record, read and written byte for byte by the store.
    const PatternRecord& Record() const { return record_; }
    PatternRecord& Record() { return record_; }

    // Non-owning; the owner of the preferences or of the database clears
    // the pointer (nullptr) before it goes away.
    void SetPreferences(const TPreferencesForReferenceDatabase* preferences);
    const TPreferencesForReferenceDatabase* Preferences() const { return preferences_; }
    void SetDatabaseLink(TPatternDatabaseLink* link);
    TPatternDatabaseLink* DatabaseLink() const { return link_; }

    // ---- reference code and record number ----

    // Takes a 9-character code or an 11-character display code. Raises
    // EAssertionFailed "Length of the reference code should be 9 or 11 (with 2 "-")"
    // for other lengths, and the fixed-field length message when an
    // 11-character code has no dashes at characters 3 and 7.
    void SetReferenceCode(std::string_view code);
    // The display form for a nine-digit stored code, else the trimmed field.
    std::string GetReferenceCode() const;
    // The stored code as a number, or -1 when it is not nine digits.
    std::int32_t GetReferenceNumber() const;
    // The characters of the code field as stored, up to the first NUL
    // (no trimming, no dashes): the key of the reference-code index.
    std::string GetStoredReferenceCode() const;

    std::int32_t GetRecordNumber() const;
    void SetRecordNumber(std::int32_t recordNumber);

    // ---- status, subfiles, crystal data ----

    std::int16_t GetStatus() const;
    void SetStatus(std::int16_t status);
    bool IsUserPattern() const;
    std::uint8_t GetStatusByte() const;
    void SetStatusByte(std::uint8_t value);

    std::uint32_t GetSubfiles() const;
    void SetSubfiles(std::uint32_t mask);

    // n = 1..11; any other n raises "Invalid index".
    float GetCrystalValue(int n) const;
    void SetCrystalValue(int n, float value);
    std::uint8_t GetCrystalClassByte() const;
    void SetCrystalClassByte(std::uint8_t value);
    std::int32_t GetCrystalNumber() const;
    void SetCrystalNumber(std::int32_t value);
    // The ten bytes of the crystal-data text, as stored.
    std::string GetCrystalText() const;

    // ---- text ranges (set by the store when it writes the lists) ----

    TextRange GetTextRange(TextList list) const;
    void SetTextRange(TextList list, TextRange range);

    // ---- names ----

    // Appends a name of type index 0..7 (another index raises "Invalid index").
    void AddName(std::string_view name, int nameType);
    // Appends a name with a type letter ("?" when the letter is not in
    // NameTypeLetters). Raises the name-count message when five names are
    // used and the total-length message when the name does not fit.
    void AddTypedName(std::string_view name, char typeLetter);
    // Replaces the (last) name of that type, keeping the order of names, or
    // adds it when the pattern has none of that type and `name` is not blank.
    void SetName(std::string_view name, int nameType);
    void SetMineralName(std::string_view name);
    // The first name of that type, or empty.
    std::string GetName(int nameType) const;
    std::string GetMineralName() const;
    // NameCount (at most 5 whatever the byte says).
    int GetNameCount() const;
    // Name i (0..GetNameCount()-1, else "Invalid index") in record order,
    // read from its offset to the first NUL or the end of the name area.
    TPatternName GetNameAt(int index) const;

    // ---- formulas ----

    // Raises the fixed-field length message for more than 67 characters.
    void SetFormulaLine(std::string_view text);
    std::string GetFormulaLine() const;
    std::string GetFirstFormula() const;
    // Empty unless the pattern has two formulas.
    std::string GetSecondFormula() const;
    // Ordered by the preferences (without them: first formula, then line).
    std::string GetPreferredFormula() const;
    int GetFormulaCount() const;

    // ---- elements ----

    // Sets the bit of an element symbol (exact letter case). Raises
    // "Reference pattern: <code>: "<symbol>" isn't a correct element code."
    // for an unknown symbol, except "Cb" and a few known patterns.
    void AddElement(std::string_view symbol);
    // Adds every element symbol of a formula text; unknown symbols are skipped.
    void SetElementsFromFormula(std::string_view formula);
    void SetElements(const ElementSet& elements);
    ElementSet GetElements() const;
    // True when element number n (0..111) is in the set.
    bool HasElement(int n) const;

    // ---- diffraction lines ----

    // Adds a line, or raises the intensity of the line with the same d.
    // Raises "The pattern already contains the maximum number of lines (204)."
    // when a 205th distinct line is added. Does not touch MaxIntensity.
    void AddLine(float d, std::int16_t intensity, std::int16_t h, std::int16_t k,
                 std::int16_t l);
    // LineCount (at most 204 whatever the byte says).
    int GetLineCount() const;
    // Line `index` (0-based); an index outside the lines raises "Invalid index".
    float GetD(int index) const;
    std::int16_t GetIntensity(int index) const;
    std::int16_t GetH(int index) const;
    std::int16_t GetK(int index) const;
    std::int16_t GetL(int index) const;
    // Intensity * 100 / MaxIntensity in percent; 0 when MaxIntensity is 0.
    // An index outside the lines raises "Invalid Index".
    float GetRelativeIntensity(int index) const;
    DiffractionLine GetLine(int index) const;
    // Descending d-spacing.
    void SortLinesByD();
    // Descending intensity, equal intensities by descending d-spacing.
    void SortLinesByIntensity();
    // The first `count` lines (fewer when the pattern has fewer) as
    // SortLinesByIntensity would leave them, the record left as it is.
    std::vector<DiffractionLine> FirstLinesByIntensity(int count) const;
    // True when every d-spacing is a number below the one before it: then
    // any series of sorts that ends with SortLinesByD leaves the lines as
    // they are.
    bool LinesStrictlyDescendingByD() const;
    // MaxIntensity := the largest intensity, at least 0.
    void UpdateMaxIntensity();
    std::int16_t GetMaxIntensity() const;

    // ---- text lists (loaded from the database on first request) ----

    const std::vector<std::string>& GetTextList(TextList list) const;
    void SetTextList(TextList list, const std::vector<std::string>& lines);
    // Appends one line (after loading the list when it is linked).
    void AddTextLine(TextList list, std::string line);

    const std::vector<std::string>& GetCodedComments() const;
    const std::vector<std::string>& GetComments() const;
    const std::vector<std::string>& GetReferences() const;
    const std::vector<std::string>& GetSupplementLines() const;
    void SetCodedComments(const std::vector<std::string>& lines);
    void SetComments(const std::vector<std::string>& lines);
    void SetReferences(const std::vector<std::string>& lines);
    void SetSupplementLines(const std::vector<std::string>& lines);

    // The texts of every coded comment line whose code (columns 68-69) is
    // `code` (two blanks: uncoded lines), continuation lines joined by a
    // blank, selected lines joined by a line feed.
    std::string GetCodedComment(std::string_view code) const;
    // GetCodedComment("CL").
    std::string GetColor() const;
    // The fields of the first reference line selected by `code`; empty when
    // no line is selected.
    std::optional<TReferenceLineFields> GetReference(std::string_view code) const;
    // Journal and authors of the first uncoded reference line (or empty).
    std::string GetJournal() const;
    std::string GetAuthors() const;

private:
    // What GetRelativeIntensity gives for a line of that intensity.
    float RelativeIntensity(std::int16_t intensity) const;
    std::vector<std::string>& ListFor(TextList list) const;
    void LoadOnDemand(TextList list) const;

    PatternRecord record_{};
    const TPreferencesForReferenceDatabase* preferences_ = nullptr;
    TPatternDatabaseLink* link_ = nullptr;
    // Loaded lazily by the const getters, hence mutable.
    mutable std::array<std::vector<std::string>, 4> lists_;
};

// Builds a current record from a record of the older variant: the code is
// converted as old codes are (an old code that is not an integer raises
// EConvertError) and the other fields are copied three bytes later.
PatternRecord ConvertOldPatternRecord(const OldPatternRecord& old);

} // namespace norrvik
