// libFuzzer target: remote listing text as a server might send it, parsed line by line.
#include "fuzz/listing_line_check.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!ListingLinesHold(data, size))
        std::abort();
    return 0;
}
