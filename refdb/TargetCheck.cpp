// The pre-write check of a conversion's target folder.
#include "refdb/TargetCheck.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "refdb/DatabaseFiles.h"
#include "refdb/DatabaseFolder.h"
#include "refdb/Indexes.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace norrvik {

namespace {

constexpr const char* kNothingWritten = ". Nothing was written.";

// Every file of a database: a new database writes them all; a run adding
// to a database writes all but Codes.PDB, which it only reads.
std::vector<std::string_view> DatabaseFileNames()
{
    std::vector<std::string_view> names = {kMainDataFileName,      kCommentFileName,
                                           kLiteratureFileName,    kSubfilesFileName,
                                           kIndexFileName,          kStrongestLinesFileName,
                                           kCrystalIndexFileName,   kCodesFileName};
    for (TextIndex index : kRebuildTextIndexOrder)
        names.push_back(TextIndexFileName(index));
    return names;
}

} // namespace

void CheckTargetCanBeWritten(const TTypedFolder& folder, TargetUse use)
{
    const std::filesystem::path& folderPath = folder.Path;
    std::error_code error;
    const auto status = std::filesystem::status(folderPath, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return;
    if (error)
        throw EInOutError(FileErrorMessage("Cannot write in folder", folder.Text, error.message()));
    if (status.type() != std::filesystem::file_type::directory)
        throw EInOutError(FileErrorMessage("Cannot write in folder", folder.Text, "it is not a folder"));

    const TDatabaseFolder files(folder);
    // Links and special files are refused whatever the run does: even the
    // deletion of a new database's files must not act through them.
    for (std::string_view name : DatabaseFileNames()) {
        const std::filesystem::path path = files.Path(name);
        const bool mayStay = use == TargetUse::AddToDatabase && name == kCodesFileName;
        if (mayStay && KindOfFile(path) == FileKind::Regular)
            continue;
        if (const auto reason = WhyFileMayNotBeWritten(path))
            throw EInOutError(FileErrorMessage("Cannot write file", PathText(path), *reason + kNothingWritten));
    }
    try {
        CheckFolderTakesNewFiles(folderPath);
    } catch (const EInOutError& refusal) {
        throw EInOutError(refusal.what() + std::string(kNothingWritten));
    }
}

} // namespace norrvik
