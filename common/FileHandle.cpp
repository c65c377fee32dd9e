// The portable part of the file calls: the handle's ownership, whole-file
// reading, durable replacement and copying, built on the platform's calls
// (common/posix/FileHandlePosix.cpp, common/windows/FileHandleWindows.cpp,
// common/PlatformFiles.h).
#include "common/FileHandle.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/LargeBuffers.h"
#include "common/PlatformFiles.h"
#include "common/TemporaryNames.h"

#include <random>
#include <system_error>
#include <utility>
#include <vector>

namespace norrvik {

namespace platform {

std::filesystem::path UnpredictableTemporaryPath(const std::filesystem::path& path)
{
    std::random_device random;
    const std::uint64_t value = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    std::filesystem::path temporary = path;
    temporary += Format(".%016llx", static_cast<unsigned long long>(value)) + std::string(kTemporaryNameEnd);
    return temporary;
}

std::optional<std::string> ReasonForKind(FileKind kind)
{
    switch (kind) {
    case FileKind::SymbolicLink:
        return kLinkReason;
    case FileKind::Folder:
        return kFolderReason;
    case FileKind::Other:
        return kSpecialReason;
    case FileKind::Missing:
    case FileKind::Regular:
        break;
    }
    return std::nullopt;
}

const char* OpenVerb(FileOpening how)
{
    if (how == FileOpening::ReadFollowingLinks)
        return "Cannot read file";
    return how == FileOpening::CreateOrOpen || how == FileOpening::CreateNew ? "Cannot create file"
                                                                              : "Cannot open file";
}

} // namespace platform

TFileHandle::TFileHandle(int descriptor, std::string pathText)
    : descriptor_(descriptor), pathText_(std::move(pathText))
{
}

TFileHandle TFileHandle::Adopt(int descriptor, std::string fileText)
{
    return TFileHandle(descriptor, std::move(fileText));
}

TFileHandle::~TFileHandle()
{
    CloseQuietly();
}

TFileHandle::TFileHandle(TFileHandle&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), pathText_(std::move(other.pathText_))
{
}

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept
{
    if (this != &other) {
        CloseQuietly();
        descriptor_ = std::exchange(other.descriptor_, -1);
        pathText_ = std::move(other.pathText_);
    }
    return *this;
}

TFileHandle TFileHandle::Open(const std::filesystem::path& path, FileOpening how)
{
    std::optional<TFileHandle> handle = OpenIfExists(path, how);
    if (!handle)
        throw EInOutError(FileErrorMessage(platform::OpenVerb(how), PathText(path),
                                           std::make_error_code(std::errc::no_such_file_or_directory).message()));
    return std::move(*handle);
}

void TFileHandle::ReadAt(std::uint64_t offset, MutableBytes bytes) const
{
    if (ReadSomeAt(offset, bytes) != bytes.size())
        throw EInOutError(FileErrorMessage("Cannot read file", pathText_, "the file ends before the record does"));
}

namespace {

std::filesystem::path FolderOf(const std::filesystem::path& path)
{
    const std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

} // namespace

std::optional<std::string> ReadWholeRegularFile(const std::filesystem::path& path)
{
    std::optional<TFileHandle> file = TFileHandle::OpenIfExists(path, FileOpening::Read);
    if (!file)
        return std::nullopt;
    std::string content;
    ResizeLarge(content, file->Size());
    const std::size_t read = file->ReadSomeAt(
        0, MutableBytes(reinterpret_cast<std::uint8_t*>(content.data()), content.size()));
    content.resize(read);
    return content;
}

void ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content)
{
    ReplaceFileAtomically(path, [content](TFileHandle& file) {
        file.WriteAt(0, ConstBytes(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
    });
}

void ReplaceFileAtomically(const std::filesystem::path& path, const std::function<void(TFileHandle&)>& write)
{
    const std::string text = PathText(path);
    if (const auto reason = WhyFileMayNotBeWritten(path))
        throw EInOutError(FileErrorMessage("Cannot write file", text, *reason));
    const bool replacing = KindOfFile(path) == FileKind::Regular;
    platform::TTemporaryFile temporary = platform::CreateTemporaryBeside(path);
    if (!temporary.Failure.empty())
        throw EInOutError(FileErrorMessage("Cannot write file", text,
                                           "its new version cannot be made in its folder (" + temporary.Failure + ")"));
    try {
        write(temporary.File);
        if (replacing)
            temporary.File.CopyPermissionsFrom(path);
        temporary.File.Sync();
        temporary.File.Close();
        platform::MoveReplacing(temporary.Path, path, text);
    } catch (...) {
        temporary.File.CloseQuietly();
        platform::RemoveQuietly(temporary.Path);
        throw;
    }
    SyncFolder(FolderOf(path));
}

void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to)
{
    const TFileHandle source = TFileHandle::Open(from, FileOpening::Read);
    TFileHandle copy = TFileHandle::Open(to, FileOpening::CreateNew);
    copy.CopyPermissionsFrom(from);
    std::vector<std::uint8_t> block(std::size_t{1} << 20);
    for (std::uint64_t offset = 0;;) {
        const std::size_t read = source.ReadSomeAt(offset, block);
        if (read == 0)
            break;
        copy.WriteAt(offset, ConstBytes(block.data(), read));
        offset += read;
    }
    copy.Sync();
    copy.Close();
}

} // namespace norrvik
