// The reference pattern: its fixed record with typed field access, names,
// formulas, elements, preferences, and the conversion of the older record
// variant. The text lists and their line readers are in PatternTextLines.cpp,
// the diffraction lines in PatternLines.cpp.
#include "refdb/ReferencePattern.h"

#include "common/Elements.h"
#include "common/Exceptions.h"
#include "common/FixedChars.h"
#include "common/Format.h"
#include "common/Text.h"
#include "refdb/PatternAccess.h"
#include "refdb/ReferenceCodes.h"

#include <algorithm>
#include <vector>

namespace norrvik {

namespace layout = pattern_layout;

// Every field follows the one before it without gaps, up to 3310 bytes.
static_assert(layout::RecordNumber == layout::ReferenceCode + layout::kReferenceCodeSize);
static_assert(layout::Unused == layout::RecordNumber + 4);
static_assert(layout::Status == layout::Unused + 4);
static_assert(layout::StatusByte == layout::Status + 2);
static_assert(layout::ReferencesStart == layout::StatusByte + 1);
static_assert(layout::CommentsStart + 4 == layout::ReferencesCount);
static_assert(layout::CommentsCount + 2 == layout::CrystalValue1);
static_assert(layout::CrystalValue2 + 6 * 4 == layout::CrystalClassByte);
static_assert(layout::CrystalText == layout::CrystalClassByte + 1);
static_assert(layout::CrystalNumber == layout::CrystalText + layout::kCrystalTextSize);
static_assert(layout::CrystalValue8 == layout::CrystalNumber + 4);
static_assert(layout::Elements == layout::CrystalValue11 + 4);
static_assert(layout::Subfiles == layout::Elements + sizeof(ElementSet));
static_assert(layout::NameCount == layout::Subfiles + 4);
static_assert(layout::NameTypes == layout::NameCount + 1);
static_assert(layout::NameOffsets == layout::NameTypes + layout::kMaxNames);
static_assert(layout::NameText == layout::NameOffsets + 2 * layout::kMaxNames);
static_assert(layout::FormulaCount == layout::NameText + layout::kNameTextSize);
static_assert(layout::FormulaOffsets == layout::FormulaCount + 1);
static_assert(layout::FormulaText == layout::FormulaOffsets + 2 * layout::kMaxFormulas);
static_assert(layout::FormulaLine == layout::FormulaText + layout::kFormulaTextSize);
static_assert(layout::LineCount == layout::FormulaLine + layout::kFormulaLineSize);
static_assert(layout::D == layout::LineCount + 1);
static_assert(layout::Intensity == layout::D + 4 * layout::kMaxLines);
static_assert(layout::H == layout::Intensity + 2 * layout::kMaxLines);
static_assert(layout::K == layout::H + 2 * layout::kMaxLines);
static_assert(layout::L == layout::K + 2 * layout::kMaxLines);
static_assert(layout::MaxIntensity == layout::L + 2 * layout::kMaxLines);
static_assert(layout::End == layout::MaxIntensity + 2);
static_assert(layout::End == kPatternRecordSize);
static_assert(kOldPatternRecordSize == kPatternRecordSize - 3);
static_assert(NameTypeLetters.size() == 8);

const std::array<std::string_view, kSubfileCount> kSubfileTable = {
    "I=Inorganic",
    "O=Organic",
    "M=Mineral",
    "A=Alloy, metal or intermetalic",
    "CEM=Cement and Hydration Product",
    "CER=Ceramic",
    "CHL=Intercalate",
    "COR=Corrosion",
    "CP=Common Phase",
    "DET=Detergent",
    "EDU=Educational pattern",
    "EXP=Explosive",
    "FOR=Forensic",
    "MAP=Modelled additional pattern",
    "MIP=Modelled in-process",
    "NBS=NBS pattern",
    "PHR=Pharmaceutical",
    "PIG=Pigment/Dye",
    "POL=Polymer",
    "SCM=Superconducting Material",
    "ZEO=Zeolite",
    "BAT=Battery",
    "CSD=CSD Pattern",
    "FIZ=ICSD Pattern",
    "NST=NIST Pattern",
    "MRK=Merck",
    "EXC=Excipient",
    "RXA=Drug activity index",
    "ION=Ionic Conductors",
    "R09=Reserved 09",
    "R10=Reserved 10",
    "R11=Reserved 11",
};

namespace {

// Patterns of the reference set whose formulas are known to hold symbols
// that are not elements; their unknown symbols are skipped silently.
constexpr std::array<std::string_view, 7> kPatternsWithOddSymbols = {
    "00-002-0318", "00-002-0662", "00-002-1070", "00-004-0618",
    "00-008-0067", "00-009-0242", "00-033-1016",
};


// The characters from `offset` up to the first NUL or the end of an area of
// `size` bytes at `area`; an offset outside the area gives the empty text.
std::string TextUpToNul(const PatternRecord& record, std::size_t area, std::size_t size,
                        std::int16_t offset)
{
    if (offset < 0 || static_cast<std::size_t>(offset) >= size)
        return {};
    std::string text;
    for (std::size_t i = area + static_cast<std::size_t>(offset); i < area + size && record[i] != 0; ++i)
        text.push_back(static_cast<char>(record[i]));
    return text;
}

MutableBytes Field(PatternRecord& record, std::size_t offset, std::size_t size)
{
    return MutableBytes(record).subspan(offset, size);
}

ConstBytes Field(const PatternRecord& record, std::size_t offset, std::size_t size)
{
    return ConstBytes(record).subspan(offset, size);
}

std::size_t CrystalValueOffset(int n)
{
    switch (n) {
    case 1: return layout::CrystalValue1;
    case 8: return layout::CrystalValue8;
    case 9: return layout::CrystalValue9;
    case 10: return layout::CrystalValue10;
    case 11: return layout::CrystalValue11;
    default:
        if (n < 2 || n > 7)
            throw Exception(kInvalidIndex);
        // values 2..7 lie one after the other
        return layout::CrystalValue2 + 4 * static_cast<std::size_t>(n - 2);
    }
}

struct TTextRangeOffsets {
    std::size_t Start;
    std::size_t Count;
};

TTextRangeOffsets RangeOffsets(TextList list)
{
    switch (list) {
    case TextList::CodedComments: return {layout::CodedCommentsStart, layout::CodedCommentsCount};
    case TextList::Comments: return {layout::CommentsStart, layout::CommentsCount};
    case TextList::References: return {layout::ReferencesStart, layout::ReferencesCount};
    case TextList::SupplementLines: break;
    }
    return {layout::SupplementLinesStart, layout::SupplementLinesCount};
}

char NameTypeLetter(int nameType)
{
    CheckIndex(nameType, static_cast<int>(NameTypeLetters.size()), kInvalidIndex);
    return NameTypeLetters[static_cast<std::size_t>(nameType)];
}

// The index of a letter in NameTypeLetters; "?" (7) for any other letter.
int NameTypeOfLetter(char letter)
{
    const std::size_t pos = NameTypeLetters.find(letter);
    return pos == std::string_view::npos ? static_cast<int>(NameTypeLetters.size() - 1)
                                         : static_cast<int>(pos);
}

bool IsLowerAsciiLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

} // namespace

void CheckIndex(int index, int count, const char* message)
{
    if (index < 0 || index >= count)
        throw Exception(message);
}

TextSideFile SideFileOf(TextList list)
{
    return list == TextList::References || list == TextList::SupplementLines
               ? TextSideFile::Literature
               : TextSideFile::Comment;
}

// ---------------------------------------------------------------------------
// Preferences

TPreferencesForReferenceDatabase::TPreferencesForReferenceDatabase()
{
    bytes_ = {0, 1, 0, 1, 2, 3, 4, 5, 6, 7};
}

std::uint8_t TPreferencesForReferenceDatabase::GetFormulaPreference(int index) const
{
    CheckIndex(index, 2, kInvalidIndex);
    return bytes_[static_cast<std::size_t>(index)];
}

void TPreferencesForReferenceDatabase::SetFormulaPreference(int index, std::uint8_t kind)
{
    CheckIndex(index, 2, kInvalidIndex);
    bytes_[static_cast<std::size_t>(index)] = kind;
}

std::uint8_t TPreferencesForReferenceDatabase::GetNamePreference(int index) const
{
    CheckIndex(index, 8, kInvalidIndex);
    return bytes_[2 + static_cast<std::size_t>(index)];
}

void TPreferencesForReferenceDatabase::SetNamePreference(int index, std::uint8_t nameType)
{
    CheckIndex(index, 8, kInvalidIndex);
    bytes_[2 + static_cast<std::size_t>(index)] = nameType;
}

// ---------------------------------------------------------------------------
// Life cycle

TReferencePattern::TReferencePattern()
{
    Clear();
}

void TReferencePattern::Clear()
{
    record_.fill(0);
    for (auto& list : lists_)
        list.clear();
    preferences_ = nullptr;
}

void TReferencePattern::Assign(const TReferencePattern& source)
{
    if (&source == this)
        return; // clearing first would lose what is to be copied
    Clear();
    record_ = source.record_;
    preferences_ = source.preferences_;
    link_ = source.link_;
    for (TextList list : kAllTextLists)
        SetTextList(list, source.GetTextList(list));
}

void TReferencePattern::SetPreferences(const TPreferencesForReferenceDatabase* preferences)
{
    preferences_ = preferences;
}

void TReferencePattern::SetDatabaseLink(TPatternDatabaseLink* link)
{
    link_ = link;
}

// ---------------------------------------------------------------------------
// Reference code and record number

void TReferencePattern::SetReferenceCode(std::string_view code)
{
    NORRVIK_ASSERT(code.size() == kStoredCodeLength || code.size() == kDisplayCodeLength,
                   "Length of the reference code should be 9 or 11 (with 2 \"-\")");
    WriteFixedChars(Field(record_, layout::ReferenceCode, layout::kReferenceCodeSize),
                    static_cast<int>(layout::kReferenceCodeSize), StoredCodeFromDisplayCode(code));
}

std::string TReferencePattern::GetReferenceCode() const
{
    return DisplayCodeFromStoredCode(ReadFixedChars(
        Field(record_, layout::ReferenceCode, layout::kReferenceCodeSize),
        static_cast<int>(layout::kReferenceCodeSize)));
}

std::int32_t TReferencePattern::GetReferenceNumber() const
{
    return ReferenceNumberFromStoredCode(ReadFixedChars(
        Field(record_, layout::ReferenceCode, layout::kReferenceCodeSize),
        static_cast<int>(layout::kReferenceCodeSize)));
}

std::string TReferencePattern::GetStoredReferenceCode() const
{
    return TextUpToNul(record_, layout::ReferenceCode, layout::kReferenceCodeSize, 0);
}

std::int32_t TReferencePattern::GetRecordNumber() const
{
    return ReadI32LE(record_, layout::RecordNumber);
}

void TReferencePattern::SetRecordNumber(std::int32_t recordNumber)
{
    WriteI32LE(record_, layout::RecordNumber, recordNumber);
}

// ---------------------------------------------------------------------------
// Status, subfiles, crystal data

std::int16_t TReferencePattern::GetStatus() const
{
    return ReadI16LE(record_, layout::Status);
}

void TReferencePattern::SetStatus(std::int16_t status)
{
    WriteI16LE(record_, layout::Status, status);
}

bool TReferencePattern::IsUserPattern() const
{
    return (GetStatus() & kUserPatternStatus) != 0;
}

std::uint8_t TReferencePattern::GetStatusByte() const
{
    return record_[layout::StatusByte];
}

void TReferencePattern::SetStatusByte(std::uint8_t value)
{
    record_[layout::StatusByte] = value;
}

std::uint32_t TReferencePattern::GetSubfiles() const
{
    return ReadU32LE(record_, layout::Subfiles);
}

void TReferencePattern::SetSubfiles(std::uint32_t mask)
{
    WriteU32LE(record_, layout::Subfiles, mask);
}

float TReferencePattern::GetCrystalValue(int n) const
{
    return ReadF32LE(record_, CrystalValueOffset(n));
}

void TReferencePattern::SetCrystalValue(int n, float value)
{
    WriteF32LE(record_, CrystalValueOffset(n), value);
}

std::uint8_t TReferencePattern::GetCrystalClassByte() const
{
    return record_[layout::CrystalClassByte];
}

void TReferencePattern::SetCrystalClassByte(std::uint8_t value)
{
    record_[layout::CrystalClassByte] = value;
}

std::int32_t TReferencePattern::GetCrystalNumber() const
{
    return ReadI32LE(record_, layout::CrystalNumber);
}

void TReferencePattern::SetCrystalNumber(std::int32_t value)
{
    WriteI32LE(record_, layout::CrystalNumber, value);
}

std::string TReferencePattern::GetCrystalText() const
{
    return ReadBytesAsString(record_, layout::CrystalText, layout::kCrystalTextSize);
}

TextRange TReferencePattern::GetTextRange(TextList list) const
{
    const TTextRangeOffsets offsets = RangeOffsets(list);
    return {ReadI32LE(record_, offsets.Start), ReadI16LE(record_, offsets.Count)};
}

void TReferencePattern::SetTextRange(TextList list, TextRange range)
{
    const TTextRangeOffsets offsets = RangeOffsets(list);
    WriteI32LE(record_, offsets.Start, range.First);
    WriteI16LE(record_, offsets.Count, range.Count);
}

// ---------------------------------------------------------------------------
// Names

int TReferencePattern::GetNameCount() const
{
    return std::min<int>(record_[layout::NameCount], static_cast<int>(layout::kMaxNames));
}

TPatternName TReferencePattern::GetNameAt(int index) const
{
    CheckIndex(index, GetNameCount(), kInvalidIndex);
    const auto i = static_cast<std::size_t>(index);
    TPatternName name;
    name.TypeLetter = static_cast<char>(record_[layout::NameTypes + i]);
    name.Text = TextUpToNul(record_, layout::NameText, layout::kNameTextSize,
                            ReadI16LE(record_, layout::NameOffsets + 2 * i));
    return name;
}

void TReferencePattern::AddName(std::string_view name, int nameType)
{
    AddTypedName(name, NameTypeLetter(nameType));
}

void TReferencePattern::AddTypedName(std::string_view name, char typeLetter)
{
    const std::size_t count = record_[layout::NameCount];
    if (count >= layout::kMaxNames)
        throw Exception(Format("The maximum number (%d) of names is already used.\r\n"
                               "You cannot add a new compound name.",
                               static_cast<int>(layout::kMaxNames)));
    const char letter = NameTypeLetters[static_cast<std::size_t>(NameTypeOfLetter(typeLetter))];
    record_[layout::NameTypes + count] = static_cast<std::uint8_t>(letter);

    // The new name starts after the first two NULs behind the previous name,
    // which leaves one NUL between names written here.
    std::size_t start = 0;
    if (count > 0) {
        const int previous = ReadI16LE(record_, layout::NameOffsets + 2 * (count - 1));
        start = layout::kNameTextSize;
        for (int p = std::max(previous + 2, 1); p < static_cast<int>(layout::kNameTextSize); ++p) {
            const std::size_t at = layout::NameText + static_cast<std::size_t>(p);
            if (record_[at - 1] == 0 && record_[at] == 0) {
                start = static_cast<std::size_t>(p);
                break;
            }
        }
    }
    WriteI16LE(record_, layout::NameOffsets + 2 * count, static_cast<std::int16_t>(start));
    if (start + name.size() > layout::kNameTextSize)
        throw Exception("The total length of the compound names is too large.\n\r"
                        "You cannot Add the new compound Name.");
    WriteStringBytes(record_, layout::NameText + start, name);
    record_[layout::NameCount] = static_cast<std::uint8_t>(count + 1);
}

void TReferencePattern::SetName(std::string_view name, int nameType)
{
    const char letter = NameTypeLetter(nameType);
    const std::string trimmed = Trim(name);
    std::vector<TPatternName> names;
    int replaced = -1;
    for (int i = 0; i < GetNameCount(); ++i) {
        names.push_back(GetNameAt(i));
        if (names.back().TypeLetter == letter)
            replaced = i;
    }
    if (replaced < 0) {
        if (!trimmed.empty())
            AddName(trimmed, nameType);
        return;
    }
    names[static_cast<std::size_t>(replaced)].Text = trimmed;

    // Rebuild the name area; a name that no longer fits restores the record
    // as it was instead of leaving the names after it lost.
    const PatternRecord before = record_;
    try {
        std::fill_n(record_.begin() + layout::NameText, layout::kNameTextSize, std::uint8_t{0});
        record_[layout::NameCount] = 0;
        for (const TPatternName& each : names)
            AddName(each.Text, NameTypeOfLetter(each.TypeLetter));
    } catch (...) {
        record_ = before;
        throw;
    }
}

void TReferencePattern::SetMineralName(std::string_view name)
{
    SetName(name, kMineralNameType);
}

std::string TReferencePattern::GetName(int nameType) const
{
    const char letter = NameTypeLetter(nameType);
    for (int i = 0; i < GetNameCount(); ++i)
        if (record_[layout::NameTypes + static_cast<std::size_t>(i)] == static_cast<std::uint8_t>(letter))
            return GetNameAt(i).Text;
    return {};
}

std::string TReferencePattern::GetMineralName() const
{
    return GetName(kMineralNameType);
}

// ---------------------------------------------------------------------------
// Formulas

void TReferencePattern::SetFormulaLine(std::string_view text)
{
    WriteFixedChars(Field(record_, layout::FormulaLine, layout::kFormulaLineSize),
                    static_cast<int>(layout::kFormulaLineSize), text);
}

std::string TReferencePattern::GetFormulaLine() const
{
    return ReadFixedChars(Field(record_, layout::FormulaLine, layout::kFormulaLineSize),
                          static_cast<int>(layout::kFormulaLineSize));
}

std::string TReferencePattern::GetFirstFormula() const
{
    return TextUpToNul(record_, layout::FormulaText, layout::kFormulaTextSize,
                       ReadI16LE(record_, layout::FormulaOffsets));
}

std::string TReferencePattern::GetSecondFormula() const
{
    if (GetFormulaCount() <= 1)
        return {};
    return TextUpToNul(record_, layout::FormulaText, layout::kFormulaTextSize,
                       ReadI16LE(record_, layout::FormulaOffsets + 2));
}

std::string TReferencePattern::GetPreferredFormula() const
{
    const auto formulaOfKind = [this](std::uint8_t kind) -> std::string {
        if (kind == 0)
            return GetFirstFormula();
        if (kind == 1)
            return GetFormulaLine();
        return {};
    };
    const std::uint8_t first = preferences_ ? preferences_->GetFormulaPreference(0) : 0;
    const std::uint8_t second = preferences_ ? preferences_->GetFormulaPreference(1) : 1;
    std::string formula = formulaOfKind(first);
    if (formula.empty())
        formula = formulaOfKind(second);
    return formula;
}

int TReferencePattern::GetFormulaCount() const
{
    return record_[layout::FormulaCount];
}

// ---------------------------------------------------------------------------
// Elements

void TReferencePattern::AddElement(std::string_view symbol)
{
    for (int n = 1; n < kElementCount; ++n) {
        if (kElementSymbols[static_cast<std::size_t>(n)] == symbol) {
            const auto bit = static_cast<std::size_t>(n);
            record_[layout::Elements + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            return;
        }
    }
    if (symbol == "Cb")
        return;
    const std::string code = GetReferenceCode();
    if (std::find(kPatternsWithOddSymbols.begin(), kPatternsWithOddSymbols.end(), code) !=
        kPatternsWithOddSymbols.end())
        return;
    throw Exception("Reference pattern: " + code + ": " +
                    Format("\"%s\" isn't a correct element code.", std::string(symbol).c_str()));
}

void TReferencePattern::SetElementsFromFormula(std::string_view formula)
{
    std::string text(formula);
    for (char& c : text)
        if (std::string_view("!()+,-.0123456789[]xz").find(c) != std::string_view::npos)
            c = ' ';
    // "$" and the two characters after it are a formatting code, not symbols.
    for (std::size_t dollar = text.find('$'); dollar != std::string::npos; dollar = text.find('$'))
        text.erase(dollar, 3);

    const auto parseToken = [this](std::string_view token) {
        if (token.empty() || token == "n")
            return;
        while (!token.empty()) {
            std::size_t length = 1;
            while (length < token.size() && IsLowerAsciiLetter(token[length]))
                ++length;
            try {
                AddElement(token.substr(0, length));
            } catch (const Exception&) {
                // an unknown symbol in a formula is skipped
            }
            token.remove_prefix(length);
        }
    };

    text = Trim(text);
    for (std::size_t blank = text.find(' '); blank != std::string::npos; blank = text.find(' ')) {
        const std::string token = text.substr(0, blank);
        text = Trim(std::string_view(text).substr(blank + 1));
        parseToken(token);
    }
    parseToken(text);
}

void TReferencePattern::SetElements(const ElementSet& elements)
{
    std::copy(elements.begin(), elements.end(), record_.begin() + layout::Elements);
}

ElementSet TReferencePattern::GetElements() const
{
    ElementSet elements{};
    std::copy_n(record_.begin() + layout::Elements, elements.size(), elements.begin());
    return elements;
}

bool TReferencePattern::HasElement(int n) const
{
    if (n < 0 || n >= kElementCount)
        return false;
    const auto bit = static_cast<std::size_t>(n);
    return (record_[layout::Elements + bit / 8] >> (bit % 8) & 1u) != 0;
}

// ---------------------------------------------------------------------------
// Older record variant

PatternRecord ConvertOldPatternRecord(const OldPatternRecord& old)
{
    constexpr std::size_t kOldCodeLength = 6;
    constexpr std::size_t kShift = layout::kReferenceCodeSize - kOldCodeLength;
    std::string oldCode;
    for (std::size_t i = 0; i < kOldCodeLength && old[i] != 0; ++i)
        oldCode.push_back(static_cast<char>(old[i]));
    const std::optional<std::int64_t> n = ParseOldCodeNumber(oldCode);
    if (!n)
        throw EConvertError(Format("'%s' is not a valid integer value (old reference code)",
                                   oldCode.c_str()));

    PatternRecord record{};
    WriteFixedChars(Field(record, layout::ReferenceCode, layout::kReferenceCodeSize),
                    static_cast<int>(layout::kReferenceCodeSize),
                    std::string(OldCodeGroupPrefix(*n)) + oldCode);
    std::copy(old.begin() + kOldCodeLength, old.end(),
              record.begin() + static_cast<std::ptrdiff_t>(kOldCodeLength + kShift));
    return record;
}

} // namespace norrvik
