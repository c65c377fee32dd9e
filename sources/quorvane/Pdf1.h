// Reader of the Quorvane database file set: QUORVANE.IND (index of 72-byte
// records), .NAM (names), .FRM (formulas), .DIS (line lists) and, for the
// PDF1 reference-database variant, .ILS (set table). The same layout holds
// either a user database or a PDF1 reference database whose patterns keep
// their ICDD pattern numbers.
//
// Files are read record by record: each ReadPattern seeks and reads the
// records it needs and keeps nothing between calls. A file too short for an
// offset or count raises EInOutError naming the file.
#pragma once

#include "common/Exceptions.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace norrvik::pdf1 {

// Errors of the Quorvane file set (a required file missing).
class ERefDBError : public Exception {
public:
    using Exception::Exception;
};

// One diffraction line of a source pattern.
struct TLine {
    double D = 0.0;               // d-spacing in Angstrom
    std::int16_t Intensity = 0;
};

// The most lines a pattern holds; a longer line list is cut to this.
inline constexpr int kMaxLines = 300;

// One pattern read from the file set.
class TReferencePattern {
public:
    TReferencePattern() = default;

    const std::string& PatternNumber() const { return patternNumber_; }
    const std::string& Name() const { return name_; }
    const std::string& NameM() const { return nameM_; }
    const std::string& NameC() const { return nameC_; }
    const std::string& NameP() const { return nameP_; }
    const std::string& NameN() const { return nameN_; }
    const std::string& Formula() const { return formula_; }
    std::int16_t LineCount() const { return lineCount_; }
    std::uint32_t SubfileBits() const { return subfileBits_; }
    bool Present() const { return present_; }
    bool Deleted() const { return deleted_; }

    // Line i (1-based); any i outside 1..300 gives line 1.
    const TLine& Line(std::int32_t i) const;

    // Fields of the index record kept as they stand; nothing here reads them.
    const std::array<std::uint8_t, 16>& Reserved20() const { return reserved20_; }
    const std::array<std::uint8_t, 26>& Reserved36() const { return reserved36_; }
    std::int32_t Reserved16() const { return reserved16_; }
    std::uint8_t Reserved68() const { return reserved68_; }
    std::uint8_t Reserved69() const { return reserved69_; }

private:
    friend class TReferenceDatabase;

    // Empties every field a read sets (the lines stay; LineCount says how many count).
    void Clear();

    std::string patternNumber_;
    std::array<std::uint8_t, 26> reserved36_{};
    std::string nameN_;
    std::string nameC_;
    std::uint8_t reserved68_ = 0;
    bool deleted_ = false;
    std::array<TLine, kMaxLines> lines_{};
    std::array<std::uint8_t, 16> reserved20_{};
    bool present_ = false;
    std::string formula_;
    std::string nameM_;
    std::int16_t lineCount_ = 0;
    std::string name_;
    std::string nameP_;
    std::uint8_t reserved69_ = 0;
    std::uint32_t subfileBits_ = 0;
    std::int32_t reserved16_ = 0;
};

// Size of the text area of a names or formula record: a longer record is
// read up to this many bytes.
inline constexpr int kMaxRecordText = 400;
// Entries of the set table.
inline constexpr int kSetTableSize = 99;

// One file of the set, opened for reading at byte offsets.
class TSourceFile;

// An open Quorvane file set.
class TReferenceDatabase {
public:
    TReferenceDatabase();
    ~TReferenceDatabase();
    TReferenceDatabase(const TReferenceDatabase&) = delete;
    TReferenceDatabase& operator=(const TReferenceDatabase&) = delete;

    // The folder of the file set; empty means the current folder.
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& folder) { databaseName_ = folder; }

    // Checks that QUORVANE.IND, .DIS, .NAM and .FRM exist (in that order; the
    // first missing one raises ERefDBError "File <path> not found."), opens
    // them and reads the header; for a reference database also QUORVANE.ILS
    // when it exists.
    void Open();
    // Closes the files; the object may be opened again.
    void Close();

    bool Active() const { return active_; }
    std::int32_t PatternCount() const { return patternCount_; }
    bool IsReferenceDatabase() const { return isReferenceDatabase_; }
    const std::string& HeaderTag() const { return headerTag_; }
    std::int16_t SetValue() const { return setValue_; }
    const std::array<std::int32_t, kSetTableSize>& SetTable() const { return setTable_; }

    // Reads pattern record `index` (1..PatternCount) into `pattern`.
    void ReadPattern(std::int32_t index, TReferencePattern& pattern);

private:
    struct OpenFiles;

    std::string FilePathText(const char* extension) const;
    std::filesystem::path FindFile(const char* extension) const;
    void ReadHeader();
    void ReadSetTable();
    void UseBuiltInSetTable();
    void ReadNames(const std::array<std::uint8_t, 72>& record, std::int32_t index);
    void ReadFormula(const std::array<std::uint8_t, 72>& record, std::int32_t index);
    void ReadLines(const std::array<std::uint8_t, 72>& record, std::int32_t index);
    // `what` and `index` name the record in messages (see TSourceFile::ReadAt).
    std::string ReadTextRecord(TSourceFile& file, std::int32_t offset, const char* what, std::int32_t index);

    std::string headerTag_ = "00";
    bool active_ = false;
    std::string databaseName_;
    std::unique_ptr<OpenFiles> files_;
    std::array<std::int32_t, kSetTableSize> setTable_{};
    bool isReferenceDatabase_ = false;
    std::int16_t setValue_ = 0;
    TReferencePattern scratch_;
    std::int32_t patternCount_ = 0;
};

// Splits the text of a names record into its tagged names (items "text~X~"
// with X one of P, M, C, N) and picks the preferred name.
void ParseNames(const std::string& text, std::string& nameP, std::string& nameM,
                std::string& nameC, std::string& nameN, std::string& name);

} // namespace norrvik::pdf1
