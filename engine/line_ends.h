#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Text mode (TYPE A) carries lines ended by CR LF; the local text convention is LF.

// CR LF -> LF on the way in. A CR at the end of one chunk waits for the next, so a pair split
// between two reads is still seen as one. A CR that is not followed by LF is kept.
class CrLfToLf {
public:
    void Convert(QByteArrayView in, QByteArray& out);
    // Emits a CR still held back when the data ends.
    void Finish(QByteArray& out);

private:
    bool pendingCr = false;
};

// LF -> CR LF on the way out: every LF, so a file downloaded in text mode goes back byte-exact.
void LfToCrLf(QByteArrayView in, QByteArray& out);
