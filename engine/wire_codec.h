#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <iconv.h>

#include <optional>

// Converts between the program's text (UTF-16) and the 8-bit text on the FTP wire, in one
// character set (the locale's unless named). Bytes that do not decode become lone surrogates
// U+DC80..U+DCFF and encode back to the same bytes, so any name a server sends can be sent back
// to it unchanged.
class WireCodec {
public:
    // charset: an iconv name; empty means the locale's character set.
    explicit WireCodec(const QByteArray& charset = {});
    ~WireCodec();
    WireCodec(const WireCodec&) = delete;
    WireCodec& operator=(const WireCodec&) = delete;

    QString Decode(QByteArrayView bytes);
    // Empty when the text holds a character the character set cannot express (a name must
    // never go out altered).
    std::optional<QByteArray> Encode(const QString& text);

    QByteArray Charset() const { return charset; }

    // The locale's character set; the plain "C" locale counts as UTF-8, as it does for the
    // rest of a modern Linux desktop.
    static QByteArray LocaleCharset();

private:
    QByteArray charset;
    iconv_t decoder;
    iconv_t encoder;
};
