// The portable part of the platform layer: what follows from the calls each
// platform implements.
#include "common/Platform.h"

namespace norrvik {

std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b)
{
    const std::optional<TFolderIdentity> first = IdentityOfFolder(a);
    return first && first == IdentityOfFolder(b);
}

} // namespace norrvik
