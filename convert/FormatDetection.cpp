// Telling the format of an old database folder by its files.
#include "convert/FormatDetection.h"

#include "common/Files.h"
#include "common/SourceFolder.h"
#include "common/Text.h"

namespace norrvik {

const FormatInfo* FormatByCliName(std::string_view name)
{
    const std::string lower = LowerCaseAscii(name);
    for (const FormatInfo& format : kFormats)
        if (format.cliName == lower)
            return &format;
    return nullptr;
}

const FormatInfo* FormatAt(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= kFormats.size())
        return nullptr;
    return &kFormats[static_cast<std::size_t>(index)];
}

int FormatIndex(const FormatInfo& format)
{
    return static_cast<int>(&format - kFormats.data());
}

std::vector<const FormatInfo*> DetectFormats(const std::string& oldFolder)
{
    std::vector<const FormatInfo*> found;
    const FormatInfo* tessaly = nullptr;
    TSourceFolder folder(PathFromText(oldFolder));
    for (const FormatInfo& format : kFormats) {
        if (!folder.Find(format.markerFile))
            continue;
        if (format.format == SourceFormat::Tessaly)
            tessaly = &format;
        else
            found.push_back(&format);
    }
    // An old database's folder may also hold a Tessaly database converted
    // into it long ago: the old database is what that folder is for.
    if (found.empty() && tessaly != nullptr)
        found.push_back(tessaly);
    return found;
}

std::string FormatsText(const std::vector<const FormatInfo*>& formats)
{
    std::string text;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            text += i + 1 == formats.size() ? " and " : ", ";
        text += std::string(formats[i]->displayName) + " (" + std::string(formats[i]->markerFile) + ")";
    }
    return text;
}

std::string FormatMismatchText(const std::string& oldFolder, const FormatInfo& chosen,
                               const std::vector<const FormatInfo*>& found)
{
    return "Folder " + oldFolder + " holds a database in " + FormatsText(found) + " format, not in " +
           std::string(chosen.displayName) + " format.";
}

} // namespace norrvik
