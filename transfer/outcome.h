#pragma once

#include <QString>

class FtpSession;

// Why the session's latest operation failed, in one line for the log: the server's reply (its
// first line), or what went wrong on this side when no reply says it.
QString FailureReason(const FtpSession& session);

// Why a local file operation on the path failed, from errno.
QString LocalFailureReason(const QString& path);

// Counts the items of a batch (transfers, deletions) and keeps the first failure's reason, so
// that a batch with failures does not end on a word of success.
class BatchTally {
public:
    void Count(bool succeeded, const QString& reason);
    int Failures() const { return failures; }
    // The success text when nothing failed; else how many of how many failed, and the first
    // failure's reason.
    QString Summary(const QString& success) const;

private:
    int items = 0;
    int failures = 0;
    QString firstReason;
};
