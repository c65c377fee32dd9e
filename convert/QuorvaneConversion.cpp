// Conversion of a Quorvane database (a user database, or a PDF1 reference
// database whose patterns keep their ICDD numbers) into a Tessaly reference
// database.
#include "convert/Conversion.h"

#include "common/Text.h"
#include "convert/ConversionSupport.h"
#include "refdb/ReferenceCodes.h"
#include "sources/quorvane/Pdf1.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace norrvik {

namespace {

// Status of a pattern of a PDF1 reference database (user patterns get the user bit).
constexpr std::int16_t kReferencePatternStatus = 0;

// Quorvane subfile bit -> target subfile bit. Source bit 0 and bits 17 to 31
// have no target subfile.
constexpr std::array<std::pair<int, int>, 16> kSubfileBitMap = {{
    {1, 0},   // I=Inorganic
    {2, 1},   // O=Organic
    {3, 2},   // M=Mineral
    {4, 3},   // A=Alloy, metal or intermetalic
    {5, 8},   // CP=Common Phase
    {6, 15},  // NBS=NBS pattern
    {7, 12},  // FOR=Forensic
    {8, 20},  // ZEO=Zeolite
    {9, 10},  // EDU=Educational pattern
    {10, 19}, // SCM=Superconducting Material
    {11, 4},  // CEM=Cement and Hydration Product
    {12, 11}, // EXP=Explosive
    {13, 7},  // COR=Corrosion
    {14, 18}, // POL=Polymer
    {15, 17}, // PIG=Pigment/Dye
    {16, 16}, // PHR=Pharmaceutical
}};

std::uint32_t TargetSubfiles(std::uint32_t sourceBits)
{
    std::uint32_t mask = 0;
    for (const auto& [source, target] : kSubfileBitMap)
        if ((sourceBits >> source) & 1u)
            mask |= 1u << target;
    return mask;
}

// The formula trimmed and cut to the width of the formula line.
std::string ConvertedFormula(const std::string& formula)
{
    std::string text = Trim(formula);
    if (text.size() > pattern_layout::kFormulaLineSize)
        text.resize(pattern_layout::kFormulaLineSize);
    return text;
}

// Reference patterns keep their number in the new code form; user patterns
// get the next user code of the target.
std::string ReferenceCodeFor(const pdf1::TReferenceDatabase& source, const pdf1::TReferencePattern& pattern,
                             TReferenceDatabase& target)
{
    if (source.IsReferenceDatabase())
        return ConvertOldReferenceCode(pattern.PatternNumber());
    return NextUserCode(target);
}

void FillPattern(TReferencePattern& pattern, const pdf1::TReferencePattern& from,
                 const pdf1::TReferenceDatabase& source, TReferenceDatabase& target, const std::string& oldFolder)
{
    FillConvertedPattern(pattern, ConvertedFormula(from.Formula()), Trim(from.Name()),
                         ReferenceCodeFor(source, from, target),
                         source.IsReferenceDatabase() ? kReferencePatternStatus : kUserPatternStatus, oldFolder);
    for (std::int32_t j = 1; j <= from.LineCount(); ++j)
        AddConvertedLine(pattern, from.Line(j).D, from.Line(j).Intensity, kUnknownMillerIndex, kUnknownMillerIndex,
                         kUnknownMillerIndex);
    pattern.SetSubfiles(pattern.GetSubfiles() | TargetSubfiles(from.SubfileBits()));
}

// The entry's name in the log: its pattern number in the old database.
std::string EntryName(const pdf1::TReferencePattern& from)
{
    return from.PatternNumber();
}

void ConvertPresentPattern(long entry, const pdf1::TReferencePattern& from, const pdf1::TReferenceDatabase& source,
                           TConversionTarget& target, const std::string& oldFolder)
{
    TReferenceDatabase& database = target.Database();
    // A user database stores every present pattern: the ones a stopped run
    // stored are passed over.
    if (!source.IsReferenceDatabase() && target.PassOverStoredEntry(entry, EntryName(from)))
        return;
    TReferencePattern pattern;
    FillPattern(pattern, from, source, database, oldFolder);
    if (TargetHoldsCode(database, pattern.GetReferenceCode())) {
        target.EntrySkipped(entry, EntryName(from), pattern.GetReferenceCode());
        return;
    }
    if (pattern.IsUserPattern())
        database.AddPattern(pattern);
    else
        database.AppendPattern(pattern);
    target.EntryStored(entry, EntryName(from), pattern.GetReferenceCode());
}

} // namespace

void ConvertQuorvaneDatabase(const std::string& oldFolder, const std::string& newFolder, bool& success,
                             const ProgressCallback& progress, TConversionSummary* summary)
{
    ResumeQuorvaneConversion(oldFolder, newFolder, success, progress, summary, TResumePoint{});
}

void ResumeQuorvaneConversion(const std::string& oldFolder, const std::string& newFolder, bool& success,
                             const ProgressCallback& progress, TConversionSummary* summary,
                             const TResumePoint& resume)
{
    success = false;
    TConversionTarget target(oldFolder, newFolder, progress, summary, SourceFormat::Quorvane, resume);
    target.Run([&] {
        pdf1::TReferenceDatabase source;
        source.SetDatabaseName(oldFolder);
        source.Open();
        const std::int32_t count = source.PatternCount();
        target.SetEntryTotal(std::max<std::int32_t>(count, 0));
        for (std::int32_t i = 0; i < count; ++i) {
            {
                pdf1::TReferencePattern from;
                source.ReadPattern(i + 1, from);
                if (from.Present())
                    ConvertPresentPattern(i + 1, from, source, target, oldFolder);
            }
            target.ReportProgress(i + 1);
        }
    });
    success = true;
}

} // namespace norrvik
