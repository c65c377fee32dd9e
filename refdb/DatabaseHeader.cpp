// The header record of the main data file.
#include "refdb/DatabaseHeader.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/LengthPrefixedString.h"
#include "common/Text.h"

#include <charconv>

namespace norrvik {

DatabaseHeader DatabaseHeader::NewDatabase(std::string_view title)
{
    DatabaseHeader header;
    WriteLengthPrefixedString(header.bytes_, header_layout::Version, header_layout::kVersionCapacity,
                              kCurrentDatabaseVersion);
    WriteLengthPrefixedString(header.bytes_, header_layout::Title, header_layout::kTitleCapacity,
                              title.substr(0, header_layout::kTitleCapacity));
    return header;
}

std::string DatabaseHeader::Version() const
{
    return ReadLengthPrefixedString(bytes_, header_layout::Version, header_layout::kVersionCapacity);
}

std::int32_t DatabaseHeader::PatternCount() const
{
    return ReadI32LE(bytes_, header_layout::PatternCount);
}

std::int32_t DatabaseHeader::UserPatternCount() const
{
    return ReadI32LE(bytes_, header_layout::UserPatternCount);
}

std::string DatabaseHeader::Title() const
{
    return ReadLengthPrefixedString(bytes_, header_layout::Title, header_layout::kTitleCapacity);
}

void DatabaseHeader::SetCounts(std::int32_t patternCount, std::int32_t userPatternCount)
{
    WriteI32LE(bytes_, header_layout::PatternCount, patternCount);
    WriteI32LE(bytes_, header_layout::UserPatternCount, userPatternCount);
}

bool DatabaseHeader::IsOlderRecordFormat(const std::string& filePath) const
{
    const std::string version = Trim(Version());
    double value = 0;
    const char* const end = version.data() + version.size();
    const auto result = std::from_chars(version.data(), end, value, std::chars_format::fixed);
    if (version.empty() || result.ec != std::errc() || result.ptr != end)
        throw EConvertError(Format("'%s' is not a valid version number in %s", version.c_str(),
                                   filePath.c_str()));
    return value < 2.0;
}

} // namespace norrvik
