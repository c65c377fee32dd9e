// Telling the format of an old database folder by its files.
#include "convert/FormatDetection.h"

#include "common/Files.h"
#include "common/SourceFolder.h"
#include "common/Text.h"

namespace norrvik {

const TFormatInfo* FormatByCliName(std::string_view name)
{
    const std::string lower = LowerCaseAscii(name);
    for (const TFormatInfo& format : kFormats)
        if (format.CliName == lower)
            return &format;
    return nullptr;
}

const TFormatInfo* FormatAt(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= kFormats.size())
        return nullptr;
    return &kFormats[static_cast<std::size_t>(index)];
}

int FormatIndex(const TFormatInfo& format)
{
    return static_cast<int>(&format - kFormats.data());
}

std::vector<const TFormatInfo*> DetectFormats(const std::string& oldFolder)
{
    std::vector<const TFormatInfo*> found;
    const TFormatInfo* tessaly = nullptr;
    TSourceFolder folder(PathFromText(oldFolder));
    for (const TFormatInfo& format : kFormats) {
        if (!folder.Find(format.MarkerFile))
            continue;
        if (format.Format == SourceFormat::Tessaly)
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

std::string FormatsText(const std::vector<const TFormatInfo*>& formats)
{
    std::string text;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            text += i + 1 == formats.size() ? " and " : ", ";
        text += std::string(formats[i]->DisplayName) + " (" + std::string(formats[i]->MarkerFile) + ")";
    }
    return text;
}

std::string FormatMismatchText(const std::string& oldFolder, const TFormatInfo& chosen,
                               const std::vector<const TFormatInfo*>& found)
{
    return "Folder " + oldFolder + " holds a database in " + FormatsText(found) + " format, not in " +
           std::string(chosen.DisplayName) + " format.";
}

} // namespace norrvik
