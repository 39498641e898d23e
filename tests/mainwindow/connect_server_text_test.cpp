// The server text of the login dialog: a host, optionally with a port.
#include "mainwindow/server_address.h"

#include <gtest/gtest.h>

namespace {

void ExpectAddress(const char* text, const char* host, quint16 port)
{
    const auto address = ParseServerText(QString::fromUtf8(text));
    ASSERT_TRUE(address.has_value()) << text;
    EXPECT_EQ(address->host.toStdString(), host) << text;
    EXPECT_EQ(address->port, port) << text;
}

TEST(ServerText, HostsWithAndWithoutPorts)
{
    ExpectAddress("ftp.example.org", "ftp.example.org", 21);
    ExpectAddress("127.0.0.1:2121", "127.0.0.1", 2121);
    ExpectAddress("localhost:65535", "localhost", 65535);
    ExpectAddress("サーバー", "サーバー", 21);
}

// The host comes out without blanks, so that the connect, the certificate's name check and the
// trust records all see the same name.
TEST(ServerText, BlanksAroundTheHostGoOnce)
{
    ExpectAddress("  ftp.example.org\t", "ftp.example.org", 21);
    ExpectAddress(" ftp.example.org :2121 ", "ftp.example.org", 2121);
    ExpectAddress("[ ::1 ]:2121", "::1", 2121);
    EXPECT_FALSE(ParseServerText(QStringLiteral("   ")).has_value());
    EXPECT_FALSE(ParseServerText(QStringLiteral("  :21")).has_value());
}

TEST(ServerText, Ipv6AddressesInBracketsOrBare)
{
    ExpectAddress("[::1]:2121", "::1", 2121);
    ExpectAddress("[::1]", "::1", 21);
    ExpectAddress("::1", "::1", 21);
    ExpectAddress("fe80::1:2", "fe80::1:2", 21);
}

TEST(ServerText, RefusesPortsThatAreNotPlainNumbersInRange)
{
    for (const char* text : {"host:", "host:0", "host:65536", "host:99999999999", "host:+21", "host: 21",
                             "host:21a", "[::1]:", "[::1]x", "[::1", ":21", "[]:21"})
        EXPECT_FALSE(ParseServerText(QString::fromUtf8(text)).has_value()) << text;
}

}  // namespace
