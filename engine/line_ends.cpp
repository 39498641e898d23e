#include "engine/line_ends.h"

void CrLfToLf::Convert(QByteArrayView in, QByteArray& out)
{
    out.reserve(out.size() + in.size() + 1);
    for (char c : in) {
        if (pendingCr) {
            pendingCr = false;
            if (c != '\n')
                out.append('\r');
        }
        if (c == '\r')
            pendingCr = true;
        else
            out.append(c);
    }
}

void CrLfToLf::Finish(QByteArray& out)
{
    if (pendingCr)
        out.append('\r');
    pendingCr = false;
}

void LfToCrLf(QByteArrayView in, QByteArray& out)
{
    out.reserve(out.size() + in.size() + in.size() / 16);
    qsizetype start = 0;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\n') {
            out.append(in.data() + start, i - start);
            out.append("\r\n", 2);
            start = i + 1;
        }
    }
    out.append(in.data() + start, in.size() - start);
}
