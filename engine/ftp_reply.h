#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Splits the bytes of a control connection into replies. It is fed whatever the socket
// delivered and hands out complete replies one at a time; bytes after a reply stay for the
// next one. It never touches a socket, so it can be driven from any buffer.
//
// A line is a run of bytes ended by CR LF, or by a bare LF as some embedded servers send. A reply whose first line reads "ddd-" goes on to
// the first line that starts with the same three digits and a blank; any other reply ends at
// the first line whose fourth character is a blank.
class ReplyReader {
public:
    static constexpr qsizetype MaxLine = 64 * 1024;
    static constexpr qsizetype MaxReply = 1024 * 1024;

    enum class Result {
        Complete,  // a reply was taken
        NeedMore,  // no complete reply yet
        TooLong,   // a line or the reply passed its limit: treat the connection as broken
    };

    void Append(const char* data, qsizetype size) { buffer.append(data, size); }
    Result Take(QByteArray& reply);
    // The complete lines of the reply being read (what is left when the connection fails).
    QByteArray CompletedLines() const { return buffer.left(lineStart); }
    bool IsEmpty() const { return buffer.isEmpty(); }
    void Clear();

private:
    QByteArray buffer;
    qsizetype lineStart = 0;  // start of the first line of the current reply not yet ended
    qsizetype scanFrom = 0;   // where the search for CR LF goes on
    QByteArray multiLineCode; // "ddd" while inside a "ddd-" reply
};

// The reply with every bare LF line end made CR LF.
QByteArray WithCrLfLineEnds(const QByteArray& reply);

// An RFC 3659 time value "YYYYMMDDHHMMSS[.sss]" (MDTM, MLSD's modify) as UTC; invalid when the
// text is not one.
QDateTime ParseMachineTime(QStringView text);

// The feature lines of a FEAT reply (RFC 2389), trimmed, in the server's order: "MDTM",
// "MLST type*;size*;modify*;" ...; empty for a reply that lists none.
QStringList ParseFeatures(const QString& reply);

// The code of a reply: its first three characters read as a decimal number the way strtol
// reads them (leading blanks skipped, stops at the first non-digit, 0 when there is none).
int ParseReplyCode(QByteArrayView reply);

// The path of a 257 reply: the text between the first double quote and the next lone one,
// with each doubled quote inside standing for one. Empty when there is no such pair.
QString ParseQuotedPath(const QString& reply);

// A decimal number the way atoi reads it, saturated instead of overflowing.
int ParseLeadingInt(QStringView text);

// The address of a 227 reply: the numbers in parentheses, or without them the first run of
// six comma-separated numbers (RFC 1123 4.1.2.6).
void ParsePassiveReply(const QString& reply, QString& host, int& port);

// The port of a 229 reply, "(|||port|)" with any delimiter character; 0 when there is none.
int ParseExtendedPassivePort(const QString& reply);

// The size in a 213 reply to SIZE ("213 1024"); -1 when there is none.
qint64 ParseSizeReply(const QString& reply);
