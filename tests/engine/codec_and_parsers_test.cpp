#include "engine/ftp_reply.h"
#include "engine/line_ends.h"
#include "engine/wire_codec.h"

#include <QList>

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(WireCodec, Utf8RoundTripOfEveryByteSequence)
{
    WireCodec codec("UTF-8");
    EXPECT_EQ(codec.Decode("\xe6\x97\xa5\xe6\x9c\xac"), QStringLiteral("日本"));
    EXPECT_EQ(codec.Decode("a\xff"), QStringLiteral("a") + QChar(0xDCFF));
    EXPECT_EQ(codec.Decode("\xf0\x9f\x98\x80"), QString::fromUtf8("\xf0\x9f\x98\x80"));

    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(int(random() % 24), '\0');
        for (char& b : bytes)
            b = char(random() % 3 == 0 ? 0xE0 + random() % 32 : random() % 256);
        const QString text = codec.Decode(bytes);
        const std::optional<QByteArray> back = codec.Encode(text);
        ASSERT_TRUE(back.has_value()) << bytes.toHex().constData();
        ASSERT_EQ(*back, bytes) << bytes.toHex().constData();
    }
}

TEST(WireCodec, RefusesWhatTheCharsetCannotSay)
{
    WireCodec utf8("UTF-8");
    EXPECT_FALSE(utf8.Encode(QString(QChar(0xD800))).has_value());  // a lone high surrogate
    WireCodec latin1("ISO-8859-1");
    EXPECT_FALSE(latin1.Encode(QStringLiteral("日本")).has_value());
    EXPECT_EQ(latin1.Encode(QStringLiteral("café")).value(), QByteArray("caf\xe9"));
}

TEST(WireCodec, OtherCharsetsRoundTrip)
{
    WireCodec eucJp("EUC-JP");
    const QByteArray bytes = eucJp.Encode(QStringLiteral("ファイル")).value();
    EXPECT_EQ(bytes.size(), 8);
    EXPECT_EQ(eucJp.Decode(bytes), QStringLiteral("ファイル"));
    const QByteArray broken("\xa5\xd5\xff\xa5", 4);
    EXPECT_EQ(eucJp.Encode(eucJp.Decode(broken)).value(), broken);
}

TEST(ReplyReader, SplitsTheStreamIntoReplies)
{
    ReplyReader reader;
    QByteArray reply;
    const QByteArray stream = "220-a\r\n230 not the end\r\n   x\r\n220 end\r\n331 next\r\nabc\r\n"
                              "12\r\nxyz word\r\n150";
    // Fed one byte at a time, the replies come out whole and in order.
    QList<QByteArray> replies;
    for (char c : stream) {
        reader.Append(&c, 1);
        while (reader.Take(reply) == ReplyReader::Result::Complete)
            replies << reply;
    }
    EXPECT_EQ(replies, (QList<QByteArray>{"220-a\r\n230 not the end\r\n   x\r\n220 end\r\n", "331 next\r\n",
                                          "abc\r\n12\r\nxyz word\r\n"}));
    EXPECT_EQ(reader.Take(reply), ReplyReader::Result::NeedMore);
}

TEST(ReplyReader, LimitsLineAndReplyLength)
{
    ReplyReader reader;
    QByteArray reply;
    const QByteArray line(ReplyReader::MaxLine, 'x');
    reader.Append(line.constData(), line.size());
    EXPECT_EQ(reader.Take(reply), ReplyReader::Result::NeedMore);
    reader.Append("yy", 2);
    reader.Append("z", 1);
    EXPECT_EQ(reader.Take(reply), ReplyReader::Result::TooLong);

    ReplyReader many;
    const QByteArray shortLine = "200-" + QByteArray(1000, 'y') + "\r\n";
    ReplyReader::Result result = ReplyReader::Result::NeedMore;
    for (int i = 0; i < 1100 && result == ReplyReader::Result::NeedMore; ++i) {
        many.Append(shortLine.constData(), shortLine.size());
        result = many.Take(reply);
    }
    EXPECT_EQ(result, ReplyReader::Result::TooLong);
}

TEST(ReplyReader, CodeAndQuotedPath)
{
    EXPECT_EQ(ParseReplyCode("226 ok\r\n"), 226);
    EXPECT_EQ(ParseReplyCode(" 42x"), 42);
    EXPECT_EQ(ParseReplyCode("22"), 22);
    EXPECT_EQ(ParseReplyCode("ab1"), 0);
    EXPECT_EQ(ParseReplyCode(""), 0);
    EXPECT_EQ(ParseQuotedPath(QStringLiteral("257 \"/a\"\"b\"\"\" ok")), QStringLiteral("/a\"b\""));
    EXPECT_EQ(ParseQuotedPath(QStringLiteral("257 \"\" empty")), QString());
    EXPECT_EQ(ParseQuotedPath(QStringLiteral("257 \"/x\"\"")), QString());
}

TEST(LineEnds, CrLfToLfAcrossChunks)
{
    CrLfToLf converter;
    QByteArray out;
    converter.Convert("a\r", out);
    converter.Convert("\nb\r", out);
    converter.Convert("c\r\r\n", out);
    converter.Convert("\r", out);
    converter.Finish(out);
    EXPECT_EQ(out, QByteArray("a\nb\rc\r\n\r"));
}

TEST(LineEnds, LfToCrLfIsTheInverse)
{
    QByteArray wire;
    LfToCrLf("a\nb\r\n\n", wire);
    EXPECT_EQ(wire, QByteArray("a\r\nb\r\r\n\r\n"));
    CrLfToLf converter;
    QByteArray local;
    converter.Convert(wire, local);
    converter.Finish(local);
    EXPECT_EQ(local, QByteArray("a\nb\r\n\n"));
}

}  // namespace
