// The NetworkManager dial-up service against a stand-in nmcli: a script that records its argument
// vector and answers like nmcli does, since no test machine has a dial-up line to bring up.
#include "platform/dialup_service.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

// One line per call; every argument in brackets so that argument boundaries show.
constexpr char FakeNmcli[] = R"(#!/bin/sh
here=$(dirname "$0")
for a in "$@"; do printf '[%s]' "$a"; done >> "$here/calls"
echo >> "$here/calls"
[ -e "$here/down" ] && { echo "Error: NetworkManager is not running." >&2; exit 8; }
case "$*" in
  "--terse --fields UUID,NAME connection show")
    printf 'u-1:Home\\:Dial\nu-2:Office\\\\Line\n' ;;
  "--get-values connection.uuid connection show id Office\\Line") echo u-2 ;;
  "--get-values connection.uuid connection show id "*)
    echo "Error: no such connection profile." >&2; exit 10 ;;
  "--terse --fields UUID,STATE connection show --active") cat "$here/active" 2>/dev/null || true ;;
  "--wait 0 connection up uuid u-2") echo "u-2:activating" > "$here/active" ;;
  "--wait 0 connection down uuid u-2") echo "u-2:deactivating" > "$here/active" ;;
  *) exit 2 ;;
esac
)";

class NmcliDialUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QFile script(Path("nmcli"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(FakeNmcli);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString Path(const char* name) const { return QDir(dir.path()).filePath(QString::fromLatin1(name)); }

    void Write(const char* name, const QByteArray& content)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QStringList TakeCalls()
    {
        QFile file(Path("calls"));
        QStringList calls;
        if (file.open(QIODevice::ReadOnly))
            calls = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        file.remove();
        return calls;
    }

    QTemporaryDir dir;
};

TEST(NmcliTerseLine, UndoesEscapesAndSplitsOnBareColons)
{
    EXPECT_EQ(NmcliDialUpService::SplitTerseLine(QStringLiteral("u-1:Home\\:Dial")),
              (QStringList{QStringLiteral("u-1"), QStringLiteral("Home:Dial")}));
    EXPECT_EQ(NmcliDialUpService::SplitTerseLine(QStringLiteral("a\\\\:b:")),
              (QStringList{QStringLiteral("a\\"), QStringLiteral("b"), QString()}));
    EXPECT_EQ(NmcliDialUpService::SplitTerseLine(QStringLiteral("ダイヤル")),
              QStringList{QStringLiteral("ダイヤル")});
}

TEST_F(NmcliDialUpTest, EnumeratesProfileNames)
{
    NmcliDialUpService service(Path("nmcli"));
    const auto names = service.EnumerateEntries();
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(*names, (QStringList{QStringLiteral("Home:Dial"), QStringLiteral("Office\\Line")}));
    EXPECT_EQ(TakeCalls(), QStringList{QStringLiteral("[--terse][--fields][UUID,NAME][connection][show]")});
}

TEST_F(NmcliDialUpTest, EveryQueryFailsWithoutNetworkManagerOrWithoutNmcli)
{
    Write("down", "");
    NmcliDialUpService notRunning(Path("nmcli"));
    NmcliDialUpService missing(Path("no-such-nmcli"));
    for (NmcliDialUpService* service : {&notRunning, &missing}) {
        EXPECT_FALSE(service->EnumerateEntries().has_value());
        DialParams params{QStringLiteral("Office\\Line"), {}};
        EXPECT_FALSE(service->GetEntryDialParams(params));
        EXPECT_FALSE(service->GetStatus(DialHandle{QStringLiteral("u-2")}).has_value());
        DialHandle handle;
        const int result = service->Dial(DialParams{QStringLiteral("Office\\Line"), QStringLiteral("u-2")}, handle);
        EXPECT_NE(result, DialUpService::DialStarted);
        EXPECT_NE(result, DialUpService::PortAlreadyOpen);
        EXPECT_TRUE(handle.id.isEmpty());
    }
}

TEST_F(NmcliDialUpTest, StoredParametersOnlyForAnExistingProfile)
{
    NmcliDialUpService service(Path("nmcli"));
    DialParams known{QStringLiteral("Office\\Line"), {}};
    ASSERT_TRUE(service.GetEntryDialParams(known));
    EXPECT_EQ(known.entryId, QStringLiteral("u-2"));

    DialParams unknown{QStringLiteral("Nowhere"), {}};
    EXPECT_FALSE(service.GetEntryDialParams(unknown));
    DialParams unnamed;
    EXPECT_FALSE(service.GetEntryDialParams(unnamed));

    EXPECT_EQ(TakeCalls(), (QStringList{
                               QStringLiteral("[--get-values][connection.uuid][connection][show][id][Office\\Line]"),
                               QStringLiteral("[--get-values][connection.uuid][connection][show][id][Nowhere]"),
                           }));
}

TEST_F(NmcliDialUpTest, DialPollAndHangUpFollowTheActivationState)
{
    NmcliDialUpService service(Path("nmcli"));
    const DialParams params{QStringLiteral("Office\\Line"), QStringLiteral("u-2")};
    DialHandle handle;
    EXPECT_EQ(service.GetStatus(DialHandle{QStringLiteral("u-2")}), DialState::Disconnected);

    EXPECT_EQ(service.Dial(params, handle), DialUpService::DialStarted);
    EXPECT_EQ(handle.id, QStringLiteral("u-2"));
    EXPECT_EQ(service.GetStatus(handle), DialState::Pending);
    Write("active", "u-1:activated\nu-2:activated\n");
    EXPECT_EQ(service.GetStatus(handle), DialState::Connected);
    TakeCalls();

    // Dialling a profile that is already up leaves it alone and reports the open port.
    DialHandle second;
    EXPECT_EQ(service.Dial(params, second), DialUpService::PortAlreadyOpen);
    EXPECT_EQ(second.id, QStringLiteral("u-2"));
    EXPECT_EQ(TakeCalls(), QStringList{QStringLiteral("[--terse][--fields][UUID,STATE][connection][show][--active]")});

    service.HangUp(handle);
    EXPECT_EQ(service.GetStatus(handle), DialState::Pending);
    Write("active", "u-1:activated\n");
    EXPECT_EQ(service.GetStatus(handle), DialState::Disconnected);
    EXPECT_EQ(TakeCalls().first(), QStringLiteral("[--wait][0][connection][down][uuid][u-2]"));
}

TEST_F(NmcliDialUpTest, NoConnectionBehindAnEmptyHandle)
{
    NmcliDialUpService service(Path("nmcli"));
    EXPECT_FALSE(service.GetStatus(DialHandle{}).has_value());
    service.HangUp(DialHandle{});
    EXPECT_TRUE(TakeCalls().isEmpty());
}

TEST_F(NmcliDialUpTest, RefusedActivationIsAFailureAndLeavesTheHandle)
{
    NmcliDialUpService service(Path("nmcli"));
    DialHandle handle{QStringLiteral("earlier")};
    const int result = service.Dial(DialParams{QStringLiteral("Home:Dial"), QStringLiteral("u-1")}, handle);
    EXPECT_NE(result, DialUpService::DialStarted);
    EXPECT_NE(result, DialUpService::PortAlreadyOpen);
    EXPECT_EQ(handle.id, QStringLiteral("earlier"));
}

}  // namespace
