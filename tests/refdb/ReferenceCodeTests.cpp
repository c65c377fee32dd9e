// Tests of reference codes: old codes converted to the stored form, codes
// stored in and read from the pattern record, and the database folder test.
#include "common/Exceptions.h"
#include "common/FixedChars.h"
#include "refdb/ReferenceCodes.h"
#include "refdb/ReferencePattern.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace norrvik;

namespace {

std::string CodeFieldBytes(const TReferencePattern& pattern)
{
    return std::string(pattern.Record().begin(), pattern.Record().begin() + 10);
}

} // namespace

TEST(OldReferenceCode, ConvertsWithTheGroupOfItsNumber)
{
    EXPECT_EQ(ConvertOldReferenceCode("020318"), "000020318");
    EXPECT_EQ(ConvertOldReferenceCode("02-0318"), "000020318");
    EXPECT_EQ(ConvertOldReferenceCode("710123"), "010710123");
    EXPECT_EQ(ConvertOldReferenceCode("001234"), "990001234");
    EXPECT_EQ(ConvertOldReferenceCode("699999"), "000699999");
    EXPECT_EQ(ConvertOldReferenceCode("700000"), "010700000");
    EXPECT_EQ(ConvertOldReferenceCode("009999"), "990009999");
    EXPECT_EQ(ConvertOldReferenceCode("010000"), "000010000");
    // Seven digits without a dash stay seven digits: ten characters in all,
    // which no pattern accepts.
    const std::string tooLong = ConvertOldReferenceCode("1234567");
    EXPECT_EQ(tooLong, "0101234567");
    TReferencePattern pattern;
    EXPECT_THROW(pattern.SetReferenceCode(tooLong), EAssertionFailed);
}

TEST(OldReferenceCode, RefusesWrongLengthsAndLetters)
{
    try {
        ConvertOldReferenceCode("02031");
        FAIL() << "no exception";
    } catch (const EAssertionFailed& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Length of old reference code must be 6 or 7 (with \"-\"). (ReferenceCodes.cpp, line ", 0), 0u)
            << message;
        EXPECT_EQ(message.back(), ')');
    }
    EXPECT_THROW(ConvertOldReferenceCode("0203181-"), EAssertionFailed);
    try {
        ConvertOldReferenceCode("AB0318");
        FAIL() << "no exception";
    } catch (const EAssertionFailed&) {
        FAIL() << "wrong exception class";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "ReferenceCode not correct.");
    }
    EXPECT_THROW(ConvertOldReferenceCode("12-03-8"), Exception);
}

TEST(ReferenceCodeField, StoresNineDigitsAndShowsTheDashedForm)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("00-002-0318");
    // Nine characters fill the field: no terminator, byte 9 belongs to the
    // record number.
    EXPECT_EQ(CodeFieldBytes(pattern), std::string("000020318") + '\0');
    EXPECT_EQ(pattern.GetReferenceCode(), "00-002-0318");
    EXPECT_EQ(pattern.GetReferenceNumber(), 20318);
    EXPECT_EQ(pattern.GetStoredReferenceCode(), "000020318");

    TReferencePattern same;
    same.SetReferenceCode("000020318");
    EXPECT_EQ(same.Record(), pattern.Record());

    pattern.SetReferenceCode("99-000-0001");
    EXPECT_EQ(pattern.GetReferenceCode(), "99-000-0001");
    EXPECT_EQ(pattern.GetReferenceNumber(), 990000001);
    EXPECT_EQ(UserDisplayCode(12), "99-000-0012");
    EXPECT_EQ(UserStoredCode(12), "990000012");
}

TEST(ReferenceCodeField, RefusesBadCodesAndKeepsThePreviousOne)
{
    TReferencePattern pattern;
    pattern.SetReferenceCode("00-002-0318");
    try {
        pattern.SetReferenceCode("00-002-031");
        FAIL() << "no exception";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Length of the reference code should be 9 or 11 (with 2 \"-\") (", 0),
                  0u)
            << e.what();
    }
    try {
        pattern.SetReferenceCode("00-0020-318");
        FAIL() << "no exception";
    } catch (const EAssertionFailed&) {
        FAIL() << "wrong exception class";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(),
                     "The actual length of the string (11) is larger than the allowed length (9).");
    }
    EXPECT_EQ(pattern.GetReferenceCode(), "00-002-0318");
}

TEST(ReferenceCodeField, OtherStoredValuesAreShownAsTheyAre)
{
    TReferencePattern pattern;
    EXPECT_EQ(pattern.GetReferenceCode(), "");
    EXPECT_EQ(pattern.GetReferenceNumber(), -1);

    pattern.SetReferenceCode("000020318");
    WriteFixedChars(MutableBytes(pattern.Record()).subspan(0, 9), 9, "12345");
    // One NUL after the short value; the rest of the field is left as it was.
    EXPECT_EQ(CodeFieldBytes(pattern), std::string("12345") + '\0' + "318" + '\0');
    EXPECT_EQ(pattern.GetReferenceCode(), "12345");
    EXPECT_EQ(pattern.GetReferenceNumber(), -1);

    pattern.SetReferenceCode("12345678X");
    EXPECT_EQ(pattern.GetReferenceCode(), "12345678X");
    EXPECT_EQ(pattern.GetReferenceNumber(), -1);
}

TEST(ReferenceDatabaseFolder, NeedsAllNineFiles)
{
    test::TempFolder folder;
    const char* names[] = {"ReferenceDatabase.PDB", "ReferenceCode.PDB", "Name.PDB",
                           "MineralName.PDB",       "Formula.PDB",       "Color.PDB",
                           "StrongestLines.PDB",    "Author.PDB",        "Journal.PDB"};
    EXPECT_FALSE(IsReferenceDatabaseFolder(TTypedFolder(folder.Text())));
    for (const char* name : names)
        test::WriteFile(folder.Path() / name, std::string());
    EXPECT_TRUE(IsReferenceDatabaseFolder(TTypedFolder(folder.Text())));
    EXPECT_TRUE(IsReferenceDatabaseFolder(TTypedFolder(folder.Text() + "/")));

    std::filesystem::remove(folder.Path() / "Journal.PDB");
    EXPECT_FALSE(IsReferenceDatabaseFolder(TTypedFolder(folder.Text())));
    // A folder of that name is not a file.
    std::filesystem::create_directory(folder.Path() / "Journal.PDB");
    EXPECT_FALSE(IsReferenceDatabaseFolder(TTypedFolder(folder.Text())));
    // Other index files of a database play no part.
    std::filesystem::remove(folder.Path() / "Journal.PDB");
    test::WriteFile(folder.Path() / "Journal.PDB", std::string());
    EXPECT_TRUE(IsReferenceDatabaseFolder(TTypedFolder(folder.Text())));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Index.PDB"));
}
