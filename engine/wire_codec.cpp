#include "engine/wire_codec.h"

#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

namespace {

// A byte that does not decode becomes EscapeBase + byte: U+DC80..U+DCFF for the bytes 0x80..0xFF
// (an ASCII byte always decodes in the character sets a locale can have).
constexpr char32_t EscapeBase = 0xDC00;
const char* const Utf32 = "UTF-32LE";

bool IsEscape(char32_t c) { return c >= EscapeBase && c <= EscapeBase + 0xFF; }

char32_t ReadUtf32Le(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return char32_t(u[0]) | char32_t(u[1]) << 8 | char32_t(u[2]) << 16 | char32_t(u[3]) << 24;
}

void AppendUtf32Le(QByteArray& out, char32_t c)
{
    const char bytes[4] = {char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16 & 0xFF), char(c >> 24 & 0xFF)};
    out.append(bytes, 4);
}

void AppendCodePoint(QString& out, char32_t c)
{
    if (c > 0xFFFF) {
        const char32_t v = c - 0x10000;
        out.append(QChar(char16_t(0xD800 + (v >> 10))));
        out.append(QChar(char16_t(0xDC00 + (v & 0x3FF))));
    } else {
        out.append(QChar(char16_t(c)));
    }
}

}  // namespace

QByteArray WireCodec::LocaleCharset()
{
    // The codeset of the locale the environment names, whether or not the program has
    // called setlocale itself. Another thread may be using the global locale, so query a
    // private locale object instead of switching it.
    locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(0));
    QByteArray name = loc ? QByteArray(nl_langinfo_l(CODESET, loc)) : QByteArray();
    if (loc)
        freelocale(loc);
    if (name.isEmpty() || name == "ANSI_X3.4-1968" || name == "ASCII")
        return "UTF-8";
    return name;
}

WireCodec::WireCodec(const QByteArray& charsetName)
    : charset(charsetName.isEmpty() ? LocaleCharset() : charsetName)
{
    decoder = iconv_open(Utf32, charset.constData());
    encoder = iconv_open(charset.constData(), Utf32);
    if (decoder == iconv_t(-1) || encoder == iconv_t(-1)) {
        // An unknown character set name: fall back to UTF-8, which glibc always has.
        if (decoder != iconv_t(-1))
            iconv_close(decoder);
        if (encoder != iconv_t(-1))
            iconv_close(encoder);
        charset = "UTF-8";
        decoder = iconv_open(Utf32, "UTF-8");
        encoder = iconv_open("UTF-8", Utf32);
    }
}

WireCodec::~WireCodec()
{
    iconv_close(decoder);
    iconv_close(encoder);
}

QString WireCodec::Decode(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(decoder, &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        for (const char* p = buffer; p + 4 <= outPtr; p += 4)
            AppendCodePoint(out, ReadUtf32Le(p));
        if (r != size_t(-1) || err == E2BIG)
            continue;
        // EILSEQ (an invalid sequence) or EINVAL (cut off at the end): keep the first byte as
        // an escape and go on with the next.
        AppendCodePoint(out, EscapeBase + (unsigned char)*in);
        ++in;
        --inLeft;
        iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::optional<QByteArray> WireCodec::Encode(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    iconv(encoder, nullptr, nullptr, nullptr, nullptr);

    QByteArray run;  // UTF-32 of the characters since the last escape
    auto flush = [&]() -> bool {
        char* in = run.data();
        size_t inLeft = size_t(run.size());
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t r = iconv(encoder, &in, &inLeft, &outPtr, &outLeft);
            const int err = errno;
            out.append(buffer, outPtr - buffer);
            if (r == size_t(-1) && err != E2BIG)
                return false;
        }
        // Return a stateful character set (ISO-2022-JP ...) to its initial shift state.
        char buffer2[16];
        char* outPtr = buffer2;
        size_t outLeft = sizeof buffer2;
        iconv(encoder, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer2, outPtr - buffer2);
        run.clear();
        return true;
    };

    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text.at(i + 1).unicode());
            ++i;
        } else if (IsEscape(c)) {
            if (!flush())
                return std::nullopt;
            out.append(char(c - EscapeBase));
            continue;
        } else if (QChar::isSurrogate(c)) {
            return std::nullopt;  // a lone surrogate that stands for no byte
        }
        AppendUtf32Le(run, c);
    }
    if (!flush())
        return std::nullopt;
    return out;
}
