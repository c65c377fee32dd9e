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
    TSourceFolder folder(PathFromText(oldFolder));
    // A Tessaly database's main file also marks every target folder: that
    // source is taken only when named, never found.
    for (const FormatInfo& format : kFormats)
        if (format.format != SourceFormat::Tessaly && folder.Find(format.markerFile))
            found.push_back(&format);
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
