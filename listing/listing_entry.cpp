#include "listing/listing_entry.h"

#include <QLocale>

QString ModeBitsText(int mode)
{
    QString text(9, u'-');
    const char16_t* letters = u"rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        if (mode & (0400 >> i))
            text[i] = letters[i];
    }
    auto special = [&](int bit, int at, QChar set, QChar setWithoutExecute) {
        if (mode & bit)
            text[at] = text[at] == u'-' ? setWithoutExecute : set;
    };
    special(04000, 2, u's', u'S');
    special(02000, 5, u's', u'S');
    special(01000, 8, u't', u'T');
    return text;
}

int ModeFromText(QStringView text)
{
    if (text.size() < 10)
        return -1;
    int mode = 0;
    const char16_t* letters = u"rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        const QChar c = text[i + 1];
        if (c == letters[i])
            mode |= 0400 >> i;
        else if ((i == 2 || i == 5) && (c == u's' || c == u'S'))
            mode |= (c == u's' ? (0400 >> i) : 0) | (i == 2 ? 04000 : 02000);
        else if (i == 8 && (c == u't' || c == u'T'))
            mode |= (c == u't' ? 01 : 0) | 01000;
        else if (c != u'-')
            return -1;
    }
    return mode;
}

QString ListingEntry::ModeText() const
{
    if (!listedMode.isEmpty() || mode < 0)
        return listedMode;
    const QChar type = kind == EntryKind::Folder ? u'd' : kind == EntryKind::Link ? u'l' : u'-';
    return type + ModeBitsText(mode);
}

QString ListingEntry::SizeText() const
{
    if (!listedSize.isEmpty() || size < 0)
        return listedSize;
    return QString::number(size);
}

QString ListingEntry::DateText() const
{
    if (!listedDate.isEmpty() || !modified.isValid())
        return listedDate;
    const QDateTime shown = exactTime ? modified.toLocalTime() : modified;
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale c = QLocale::c();
    const QString month = c.monthName(shown.date().month(), QLocale::ShortFormat);
    const QString day = QStringLiteral("%1").arg(shown.date().day(), 2);
    // Like ls: the time of day for the last half year, the year otherwise.
    const bool recent = shown <= now.addDays(1) && shown > now.addDays(-183);
    if (recent)
        return month + u' ' + day + u' ' + shown.time().toString(QStringLiteral("HH:mm"));
    return month + u' ' + day + QStringLiteral("  ") + QString::number(shown.date().year());
}

std::optional<ListingEntry> ParseListingEntry(QStringView line, ListingFormat format)
{
    if (format == ListingFormat::Machine)
        return ParseMachineLine(line);
    // An MS-DOS line starts with a digit, a Unix line with its mode letter.
    if (std::optional<ListingEntry> entry = ParseDosLine(line))
        return entry;
    return ParseUnixLine(line);
}

bool ReadListingEntries(QStringView text, ListingFormat format, qsizetype maxEntries,
                        const std::function<void(ListingEntry&&)>& take)
{
    qsizetype taken = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf(u'\n', pos);
        if (end < 0)
            end = text.size();
        if (std::optional<ListingEntry> entry = ParseListingEntry(text.mid(pos, end - pos), format)) {
            if (taken == maxEntries)
                return true;
            take(std::move(*entry));
            ++taken;
        }
        pos = end + 1;
    }
    return false;
}
