#pragma once

#include <QtGlobal>

#include <limits>

// Byte counts of batches and folder walks add up sizes that servers and file systems report:
// a hostile listing can hold sizes near the top of the range, and a sum that wrapped would show
// a negative or tiny total. The sum stops at the largest count instead; a negative size adds
// nothing.
inline qint64 AddBytes(qint64 sum, qint64 size)
{
    if (size <= 0)
        return sum;
    if (sum > std::numeric_limits<qint64>::max() - size)
        return std::numeric_limits<qint64>::max();
    return sum + size;
}
