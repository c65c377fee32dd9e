// Generated Tessaly releases, written through the store.
#include "support/TessalyWriter.h"

#include "refdb/ReferenceDatabase.h"

namespace norrvik::test {

namespace {

// A text line with a two-letter code in columns 68-69.
std::string CodedTextLine(const std::string& text, const std::string& code)
{
    std::string line = text;
    line.resize(67, ' ');
    return line + code;
}

} // namespace

TReferencePattern ReleasePattern(int k)
{
    const std::string number = std::to_string(k);
    TReferencePattern pattern;
    pattern.AddName("Quartz \xe9 low " + number, 0); // Windows-1252 e acute
    pattern.AddName("\xc5sarite", 1);
    pattern.SetFormulaLine("Si O2 Fe" + number);
    pattern.AddLine(4.26f + 0.001f * static_cast<float>(k % 500), 35, 1, 0, 0);
    pattern.AddLine(3.34f, 100, 1, 0, 1);
    pattern.AddLine(1.82f, static_cast<std::int16_t>(10 + k % 50), 1, 1, -2);
    pattern.SetSubfiles(0x5u | (static_cast<std::uint32_t>(k % 7) << 8));
    pattern.SetCrystalValue(1, 4.913f);
    pattern.SetCrystalValue(3, 5.405f);
    pattern.SetCrystalValue(8, 120.0f);
    pattern.SetCrystalClassByte(static_cast<std::uint8_t>(k % 7));
    pattern.SetCrystalNumber(154);
    pattern.SetCodedComments({CodedTextLine(k % 2 == 0 ? "colourless" : "pale yellow", "CL")});
    pattern.SetComments({"Lab sample " + number, "Ground in agate, \xb5m sieve"});
    pattern.SetReferences({CodedTextLine("JCPDS 21-1272 Sm\xf6rgrav, A.", "  ")});
    pattern.SetSupplementLines({"Supplement " + number});
    return pattern;
}

void WriteTessalyRelease(const std::string& folder, const std::vector<std::string>& referenceCodes,
                         int userPatterns, int firstNumber)
{
    auto database = TReferenceDatabase::CreateDatabase(folder, "PDF2");
    int k = firstNumber - 1;
    for (const std::string& code : referenceCodes) {
        TReferencePattern pattern = ReleasePattern(++k);
        pattern.SetReferenceCode(code);
        database->AppendPattern(pattern);
    }
    for (int u = 0; u < userPatterns; ++u) {
        TReferencePattern pattern = ReleasePattern(++k);
        database->AddPattern(pattern);
    }
    database->Close();
}

} // namespace norrvik::test
