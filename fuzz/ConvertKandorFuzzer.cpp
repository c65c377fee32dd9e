// Fuzz target: the whole Kandor conversion, from a source folder split from
// the input into a new target database and then into the existing one.
#include "ConversionFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return norrvik::fuzz::FuzzConversion(data, size, "kandor", &norrvik::ConvertKandorDatabase);
}
