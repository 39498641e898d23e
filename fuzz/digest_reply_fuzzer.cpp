#include "fuzz/entry_points.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzDigestReply(data, size);
    return 0;
}
