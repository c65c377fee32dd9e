// The folder of a target database: its files found whatever their letter
// case, its creation, and the removal of database and leftover files.
#include "refdb/DatabaseFolder.h"

#include "common/Exceptions.h"
#include "common/FileHandle.h"
#include "common/Files.h"
#include "common/Format.h"
#include "common/TemporaryNames.h"
#include "refdb/DatabaseFiles.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace norrvik {

namespace {

// True for a temporary file a stopped run leaves in the folder.
bool IsLeftoverTemporaryFile(std::string_view name)
{
    return IsTemporaryNameOf(name, kFolderProbeName) ||
           std::any_of(kDatabaseFiles.begin(), kDatabaseFiles.end(),
                       [name](const TDatabaseFileInfo& file) { return IsTemporaryNameOf(name, file.Name); });
}

} // namespace

TDatabaseFolder::TDatabaseFolder(std::string_view folder)
{
    SetName(folder);
}

TDatabaseFolder::TDatabaseFolder(const TTypedFolder& folder)
    : name_(IncludeTrailingPathDelimiter(folder.Text)), folder_(folder.Path / "")
{
}

void TDatabaseFolder::SetName(std::string_view folder)
{
    TakeName(IncludeTrailingPathDelimiter(folder));
}

void TDatabaseFolder::SetNameAsIs(std::string name)
{
    TakeName(std::move(name));
}

void TDatabaseFolder::TakeName(std::string name)
{
    name_ = std::move(name);
    folder_ = PathFromText(name_);
    Forget();
}

TSourceFolder& TDatabaseFolder::Listing() const
{
    if (!listing_)
        listing_ = std::make_unique<TSourceFolder>(folder_);
    return *listing_;
}

std::filesystem::path TDatabaseFolder::Path(std::string_view fileName) const
{
    // The name ends with its delimiter (or is "Unknown" or empty): the file's
    // name goes right after it, as in the text the name was made from.
    std::filesystem::path exact = folder_;
    exact += PathFromText(fileName);
    if (KindOfFile(exact) != FileKind::Missing)
        return exact;
    try {
        return Listing().Locate(fileName);
    } catch (const EInOutError&) {
        return exact; // a folder that cannot be looked into offers no other letter case
    }
}

std::string TDatabaseFolder::FilePath(std::string_view fileName) const
{
    return PathText(Path(fileName));
}

bool TDatabaseFolder::Exists(std::string_view fileName) const
{
    return KindOfFile(Path(fileName)) != FileKind::Missing;
}

void TDatabaseFolder::CheckExists() const
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder_, error)) {
        ThrowIfPathTooLong(folder_, name_);
        throw Exception(Format("Folder %s doesn't exist.", name_.c_str()));
    }
}

void TDatabaseFolder::Create() const
{
    const std::filesystem::path folder = folder_.parent_path(); // without the delimiter
    std::error_code ignored; // a folder that cannot be made fails at its first file
    std::filesystem::create_directories(folder, ignored);
    // A new folder is there for good only with the folder that holds it on
    // the disk, and so on up: the caller may have made some of them. One
    // that may not be read cannot be synced; the folders are kept all the
    // same.
    for (std::filesystem::path inner = folder; !inner.empty() && inner != ".";) {
        const std::filesystem::path outer = inner.has_parent_path() ? inner.parent_path() : ".";
        if (outer == inner)
            break; // the root
        try {
            SyncFolder(outer);
        } catch (const EInOutError&) {
        }
        inner = outer;
    }
}

void TDatabaseFolder::Sync() const
{
    SyncFolder(folder_);
}

void TDatabaseFolder::DeleteDatabaseFiles() const
{
    for (const TDatabaseFileInfo& file : kDatabaseFiles) {
        std::error_code ignored; // a file that cannot be deleted is passed over
        std::filesystem::remove(Path(file.Name), ignored);
    }
    Forget();
}

void TDatabaseFolder::RemoveLeftoverTemporaryFiles() const
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        std::error_code ignored; // one that cannot be removed does no harm
        if (entry.is_regular_file(ignored) && IsLeftoverTemporaryFile(PathText(entry.path().filename())))
            std::filesystem::remove(entry.path(), ignored);
    }
    Forget();
}

} // namespace norrvik
