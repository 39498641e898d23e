#pragma once

// What the listing parsers share: a line cut into blank-separated fields, and small readers of
// digits. Private to listing/.

#include "listing/listing_entry.h"

#include <QStringView>

#include <algorithm>
#include <limits>
#include <optional>

namespace ListingFields {

// Enough fields to reach the name of a long listing: mode, links, owner, group (and a domain
// some Windows servers add), size, a date of up to four fields, with a little room.
constexpr int FieldsToScan = 12;

// The blank-separated fields at the front of a line.
class Fields {
public:
    explicit Fields(QStringView line) : line(line)
    {
        qsizetype pos = 0;
        const qsizetype length = line.size();
        while (count < FieldsToScan) {
            while (pos < length && line[pos] == u' ')
                ++pos;
            if (pos == length)
                break;
            const qsizetype begin = pos;
            while (pos < length && line[pos] != u' ')
                ++pos;
            tokens[count++] = {begin, pos};
        }
    }

    int Count() const { return count; }
    QStringView operator[](int i) const { return line.mid(tokens[i].begin, tokens[i].end - tokens[i].begin); }
    qsizetype Begin(int i) const { return tokens[i].begin; }
    qsizetype End(int i) const { return tokens[i].end; }
    QStringView Line() const { return line; }

private:
    struct Token {
        qsizetype begin;
        qsizetype end;  // one past the last character
    };
    QStringView line;
    Token tokens[FieldsToScan] = {};
    int count = 0;
};

inline bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

inline bool IsDigits(QStringView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), IsDigit);
}

// The value of a short run of digits (callers check the length first).
inline int DigitsValue(QStringView s)
{
    int value = 0;
    for (QChar c : s)
        value = value * 10 + (c.unicode() - u'0');
    return value;
}

// A size in bytes; sizes past what a qint64 holds stay at its largest value.
inline qint64 SizeValue(QStringView digits)
{
    qint64 value = 0;
    for (QChar c : digits) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            return std::numeric_limits<qint64>::max();
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

inline QStringView WithoutCr(QStringView line)
{
    return line.endsWith(u'\r') ? line.chopped(1) : line;
}

// Nothing for an entry no folder can hold: an empty name, ".", "..", a name with "/" or NUL
// (a path must never be built from it).
inline std::optional<ListingEntry> Usable(ListingEntry entry)
{
    const QString& name = entry.name;
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar::Null))
        return std::nullopt;
    return entry;
}

}  // namespace ListingFields
