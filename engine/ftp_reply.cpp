#include "engine/ftp_reply.h"

#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace {

bool IsBlankChar(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void ReplyReader::Clear()
{
    buffer.clear();
    lineStart = 0;
    scanFrom = 0;
    multiLineCode.clear();
}

ReplyReader::Result ReplyReader::Take(QByteArray& reply)
{
    for (;;) {
        // A line ends at LF; the CR before it is the rule, but some embedded servers leave it out.
        const qsizetype lf = buffer.indexOf('\n', scanFrom);
        if (lf < 0) {
            scanFrom = buffer.size();
            if (buffer.size() - lineStart > MaxLine + 2 || buffer.size() > MaxReply)
                return Result::TooLong;
            return Result::NeedMore;
        }
        const qsizetype lineEnd = lf + 1;
        const qsizetype textEnd = lf > lineStart && buffer.at(lf - 1) == '\r' ? lf - 1 : lf;
        if (textEnd - lineStart > MaxLine || lineEnd > MaxReply)
            return Result::TooLong;

        const QByteArrayView line(buffer.constData() + lineStart, textEnd - lineStart);
        bool last;
        if (lineStart == 0 && line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1])
            && IsDigit(line[2]) && line[3] == '-') {
            multiLineCode = QByteArray(line.data(), 3);
            last = false;
        } else if (!multiLineCode.isEmpty()) {
            last = line.size() >= 4 && line.startsWith(multiLineCode) && line[3] == ' ';
        } else {
            last = line.size() >= 4 && line[3] == ' ';
        }

        if (last) {
            reply = buffer.left(lineEnd);
            buffer.remove(0, lineEnd);
            lineStart = 0;
            scanFrom = 0;
            multiLineCode.clear();
            return Result::Complete;
        }
        lineStart = lineEnd;
        scanFrom = lineEnd;
    }
}

QByteArray WithCrLfLineEnds(const QByteArray& reply)
{
    QByteArray lines;
    lines.reserve(reply.size() + 8);
    for (qsizetype i = 0; i < reply.size(); ++i) {
        if (reply.at(i) == '\n' && (i == 0 || reply.at(i - 1) != '\r'))
            lines.append('\r');
        lines.append(reply.at(i));
    }
    return lines;
}

QDateTime ParseMachineTime(QStringView text)
{
    const qsizetype dot = text.indexOf(u'.');
    const QStringView whole = dot < 0 ? text : text.left(dot);
    auto digits = [](QStringView s) {
        return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (whole.size() != 14 || !digits(whole) || (dot >= 0 && !digits(text.mid(dot + 1))))
        return {};
    auto number = [&](qsizetype at, qsizetype length) { return whole.mid(at, length).toInt(); };
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QStringList ParseFeatures(const QString& reply)
{
    // "211-Features:", one feature a line (RFC 2389 indents them by one blank), "211 End".
    QStringList features;
    const QStringList lines = reply.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || (line.size() >= 4 && line.startsWith(lines[0].left(3)) && line[3] == u' '))
            continue;
        features << line;
    }
    return features;
}

int ParseReplyCode(QByteArrayView reply)
{
    const QByteArrayView head = reply.first(qMin<qsizetype>(3, reply.size()));
    qsizetype i = 0;
    while (i < head.size() && IsBlankChar(head[i]))
        ++i;
    bool negative = false;
    if (i < head.size() && (head[i] == '+' || head[i] == '-'))
        negative = head[i++] == '-';
    int value = 0;
    for (; i < head.size() && IsDigit(head[i]); ++i)
        value = value * 10 + (head[i] - '0');
    return negative ? -value : value;
}

QString ParseQuotedPath(const QString& reply)
{
    const qsizetype open = reply.indexOf(QLatin1Char('"'));
    if (open < 0)
        return {};
    QString path;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        if (reply.at(i) != QLatin1Char('"')) {
            path.append(reply.at(i));
        } else if (i + 1 < reply.size() && reply.at(i + 1) == QLatin1Char('"')) {
            path.append(QLatin1Char('"'));
            ++i;
        } else {
            return path;
        }
    }
    return {};
}

int ParseLeadingInt(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).unicode() < 0x80 && IsBlankChar(char(text.at(i).unicode())))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > std::numeric_limits<int>::max()) {
            value = std::numeric_limits<int>::max();
            break;
        }
    }
    return int(negative ? -value : value);
}

namespace {

// "192,168,1,2,19,137" in "227 Entering Passive Mode 192,168,1,2,19,137": the first run of six
// numbers joined by commas (blanks allowed around them); empty when there is none.
QStringView FirstSixNumbers(const QString& reply)
{
    auto isDigit = [&](qsizetype i) { return i < reply.size() && reply.at(i) >= u'0' && reply.at(i) <= u'9'; };
    for (qsizetype begin = 0; begin < reply.size(); ++begin) {
        if (!isDigit(begin) || (begin > 0 && isDigit(begin - 1)))
            continue;
        qsizetype at = begin;
        int numbers = 0;
        for (;;) {
            if (!isDigit(at))
                break;
            while (isDigit(at))
                ++at;
            if (++numbers == 6)
                return QStringView(reply).mid(begin, at - begin);
            qsizetype next = at;
            while (next < reply.size() && reply.at(next) == u' ')
                ++next;
            if (next >= reply.size() || reply.at(next) != u',')
                break;
            ++next;
            while (next < reply.size() && reply.at(next) == u' ')
                ++next;
            at = next;
        }
    }
    return {};
}

}  // namespace

void ParsePassiveReply(const QString& reply, QString& host, int& port)
{
    const qsizetype open = reply.indexOf(QLatin1Char('('));
    const qsizetype close = reply.indexOf(QLatin1Char(')'));
    const qsizetype start = open < 0 ? 0 : open + 1;
    QStringView span;
    if (open < 0)
        span = FirstSixNumbers(reply);
    else if (close >= start)
        span = QStringView(reply).mid(start, close - start);

    QStringView fields[6];
    for (int i = 0; i < 5; ++i) {
        const qsizetype comma = span.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;  // an empty field; the rest stays as it was
        fields[i] = span.first(comma);
        span = span.mid(comma + 1);
    }
    fields[5] = span;
    for (QStringView& field : fields)
        field = field.trimmed();

    host = QStringLiteral("%1.%2.%3.%4").arg(fields[0], fields[1], fields[2], fields[3]);
    // Each byte is clamped so that a hostile number cannot overflow; a port out of range
    // then simply fails to connect.
    auto byteOf = [](QStringView field) { return qBound(-1, ParseLeadingInt(field), 65536); };
    port = byteOf(fields[4]) * 256 + byteOf(fields[5]);
}

// The port of a 229 reply, "(|||port|)" with any delimiter character; 0 when there is none.
int ParseExtendedPassivePort(const QString& reply)
{
    const qsizetype open = reply.indexOf(QLatin1Char('('));
    if (open < 0 || open + 4 >= reply.size())
        return 0;
    const QChar delimiter = reply.at(open + 1);
    if (reply.at(open + 2) != delimiter || reply.at(open + 3) != delimiter)
        return 0;
    const QStringView rest = QStringView(reply).mid(open + 4);
    const qsizetype end = rest.indexOf(delimiter);
    bool ok = false;
    const int port = end > 0 ? rest.first(end).toInt(&ok) : 0;
    return ok ? port : 0;
}

qint64 ParseSizeReply(const QString& reply)
{
    bool ok = false;
    const qint64 size = QStringView(reply).mid(4).trimmed().split(QLatin1Char(' ')).value(0).toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}
