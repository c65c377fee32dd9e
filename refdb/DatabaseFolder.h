// The folder of a target database and its files' names in it. An existing
// file is found whatever the letter case of its name (a database copied from
// a Windows share holds referencedatabase.pdb), by the rule source files are
// found by (TSourceFolder), and is used under its own name; a file that is
// missing is made under its exact name. Also the folder's creation, made
// durable, the deletion of a database's files and the removal of the
// temporary files a stopped run left.
#pragma once

#include "common/SourceFolder.h"
#include "common/TypedFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace norrvik {

class TDatabaseFolder {
public:
    TDatabaseFolder() = default;
    explicit TDatabaseFolder(std::string_view folder);
    // The typed folder's path is taken as it is, not made again.
    explicit TDatabaseFolder(const TTypedFolder& folder);

    // The folder, with a trailing path delimiter: as text for messages and
    // as the path made from that text once, for everything done in it.
    const std::string& Name() const { return name_; }
    const std::filesystem::path& Folder() const { return folder_; }
    void SetName(std::string_view folder);
    // A name that names no folder (a closed store's "Unknown"), kept as it is.
    void SetNameAsIs(std::string name);

    // The file `fileName` of the folder by the rule above, as text and as a
    // path. The folder is listed at most once until Forget, and only when a
    // name is not found exactly.
    std::string FilePath(std::string_view fileName) const;
    std::filesystem::path Path(std::string_view fileName) const;
    // Anything holding the name counts: a link or a pipe there is refused
    // when the file is opened, never replaced by a new file.
    bool Exists(std::string_view fileName) const;
    // Forgets the listing (after files were removed).
    void Forget() const { listing_.reset(); }

    // "Folder %s doesn't exist." unless it is a folder.
    void CheckExists() const;
    // Makes the folder and any missing folder above it, and puts each on the
    // disk with the folder that holds it. A folder that cannot be made is
    // passed over: the first file made in it fails with the reason.
    void Create() const;
    // Puts the folder's entries on the disk.
    void Sync() const;

    // Deletes each of the fifteen database files that exists, under whatever
    // letter case; files that cannot be deleted are passed over.
    void DeleteDatabaseFiles() const;
    // Removes the temporary files a stopped replacement of a database file
    // or a stopped probe of the folder left (see common/TemporaryNames.h).
    void RemoveLeftoverTemporaryFiles() const;

private:
    TSourceFolder& Listing() const;
    void TakeName(std::string name);

    std::string name_;
    std::filesystem::path folder_; // PathFromText(name_)
    mutable std::unique_ptr<TSourceFolder> listing_;
};

} // namespace norrvik
