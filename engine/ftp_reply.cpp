#include "engine/ftp_reply.h"

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
        const qsizetype crlf = buffer.indexOf("\r\n", scanFrom);
        if (crlf < 0) {
            // Keep the CR at the end: its LF may come with the next read.
            scanFrom = qMax(lineStart, buffer.size() - 1);
            if (buffer.size() - lineStart > MaxLine + 2 || buffer.size() > MaxReply)
                return Result::TooLong;
            return Result::NeedMore;
        }
        const qsizetype lineEnd = crlf + 2;
        if (crlf - lineStart > MaxLine || lineEnd > MaxReply)
            return Result::TooLong;

        const QByteArrayView line(buffer.constData() + lineStart, crlf - lineStart);
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
