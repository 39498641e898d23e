// The dial-up step of Connect and the hang-up of Disconnect, against the scripted dial-up
// service and its fake clock.
#include "tests/mainwindow/cancel_press.h"
#include "tests/mainwindow/connect_fixture.h"

namespace {

const QString Entry = QStringLiteral("Office");
const QString EntryId = ScriptedDialUp::HandleIdFor(Entry);

class DialUpConnectTest : public ConnectTest {
protected:
    void SetUp() override
    {
        ConnectTest::SetUp();
        SettingsStore::WriteFlag(SettingName::UseAutoDialUp, true);
        SettingsStore::WriteString(SettingName::AutoDialUpName, Entry);
        dialUp.entries << Entry;
    }

    // A login to a port nothing listens on: a connect that gets past the dial step ends in the
    // log, one that stops before it leaves the log alone.
    void ConnectToNowhere()
    {
        QueueLogin(QStringLiteral("127.0.0.1:%1").arg(ClosedPort()));
        window->Connect();
    }
    bool WentOnToTheLogin() const { return window->LogText() == AsLogged(ConnectText::ConnectFailed); }
};

TEST_F(DialUpConnectTest, DialsWaitsUntilConnectedThenLogsIn)
{
    dialUp.states = {DialState::Pending, DialState::Pending, DialState::Connected};
    QStringList waitTexts;
    dialUp.onStatusQuery = [&] { waitTexts << ShownWaitText(); };
    ConnectToNowhere();
    EXPECT_TRUE(WentOnToTheLogin());
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(dialUp.calls, (QStringList{QStringLiteral("params Office"), QStringLiteral("dial Office"),
                                         QStringLiteral("status ") + EntryId, QStringLiteral("status ") + EntryId,
                                         QStringLiteral("status ") + EntryId}));
    EXPECT_EQ(dialUp.pauses, 2);
    EXPECT_EQ(waitTexts, QStringList(3, QStringLiteral("Officeに接続中です\nしばらくお待ちください...")));
    EXPECT_TRUE(ShownWaitText().isEmpty());
}

TEST_F(DialUpConnectTest, WaitTextShowsTenCharactersOfTheEntryName)
{
    for (const auto& [name, expected] :
         {std::pair{QStringLiteral("0123456789"), QStringLiteral("0123456789に接続中です\nしばらくお待ちください...")},
          std::pair{QStringLiteral("ダイヤルアップ接続です"), QStringLiteral("ダイヤルアップ接続で..に接続中です\nしばらくお待ちください...")}}) {
        SCOPED_TRACE(name.toStdString());
        SettingsStore::WriteString(SettingName::AutoDialUpName, name);
        dialUp.entries = {name};
        QString waitText;
        dialUp.onStatusQuery = [&] { waitText = ShownWaitText(); };
        ConnectToNowhere();
        EXPECT_EQ(waitText, expected);
    }
}

TEST_F(DialUpConnectTest, MissingDialParametersStopBeforeDialling)
{
    SettingsStore::WriteString(SettingName::AutoDialUpName, QStringLiteral("Nowhere"));
    const QString logBefore = window->LogText();
    ConnectToNowhere();
    EXPECT_EQ(prompter.messages, QStringList{ConnectText::DialParamsFailed});
    EXPECT_EQ(dialUp.calls, QStringList{QStringLiteral("params Nowhere")});
    EXPECT_EQ(window->LogText(), logBefore);
    EXPECT_TRUE(LooksDisconnected());
}

TEST_F(DialUpConnectTest, RefusedDialStops)
{
    dialUp.dialResult = 633;
    const QString logBefore = window->LogText();
    ConnectToNowhere();
    EXPECT_EQ(prompter.messages, QStringList{ConnectText::DialFailed});
    EXPECT_EQ(dialUp.calls, (QStringList{QStringLiteral("params Office"), QStringLiteral("dial Office")}));
    EXPECT_EQ(window->LogText(), logBefore);
    EXPECT_TRUE(ShownWaitText().isEmpty());
}

TEST_F(DialUpConnectTest, AlreadyOpenPortCountsAsStarted)
{
    dialUp.dialResult = DialUpService::PortAlreadyOpen;
    ConnectToNowhere();
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(dialUp.statusQueries, 1);
    EXPECT_TRUE(WentOnToTheLogin());
}

TEST_F(DialUpConnectTest, FailingStatusQueryLetsTheLoginGoOn)
{
    dialUp.states = {DialState::Pending, std::nullopt};
    ConnectToNowhere();
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(dialUp.statusQueries, 2);
    EXPECT_TRUE(WentOnToTheLogin());
}

TEST_F(DialUpConnectTest, TimeOutAfterTheStoredSecondsOrNinetyWhenZeroOrMissing)
{
    // The fake clock moves one second per pause, so the number of pauses is the limit in seconds.
    // The store starts without a time-out.
    dialUp.states = {DialState::Pending};
    const QString logBefore = window->LogText();
    for (const auto& [stored, seconds] : {std::pair{std::optional<qint32>(), 90}, std::pair{std::optional<qint32>(0), 90},
                                          std::pair{std::optional<qint32>(5), 5}}) {
        SCOPED_TRACE(seconds);
        if (stored)
            SettingsStore::WriteNumber(SettingName::ConnectTimeout, *stored);
        dialUp.pauses = 0;
        prompter.messages.clear();
        ConnectToNowhere();
        EXPECT_EQ(prompter.messages, QStringList{ConnectText::DialTimedOut});
        EXPECT_EQ(dialUp.pauses, seconds);
        EXPECT_EQ(window->LogText(), logBefore);
    }
    // The attempts are left as they are: no hang-up.
    EXPECT_FALSE(dialUp.calls.join(u' ').contains(QStringLiteral("hangup")));
}

TEST_F(DialUpConnectTest, CancelWhileDiallingHangsUpAndStaysDisconnected)
{
    dialUp.states = {DialState::Pending};  // never comes up
    PressCancelWhen cancel([](const QString& shown) { return shown.startsWith(Entry); });
    ConnectToNowhere();
    EXPECT_TRUE(cancel.pressed);
    EXPECT_EQ(window->LogText(), QStringLiteral("中止しました"));
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_EQ(dialUp.calls.last(), QStringLiteral("hangup ") + EntryId);
    EXPECT_LT(dialUp.pauses, 90);  // long before the dial time-out
}

TEST_F(DialUpConnectTest, DisconnectHangsUpAndWaitsUntilDown)
{
    ConnectToNowhere();
    ASSERT_TRUE(WentOnToTheLogin());
    dialUp.calls.clear();
    dialUp.pauses = 0;
    dialUp.statusQueries = 0;
    dialUp.states = {DialState::Pending, DialState::Pending, DialState::Disconnected};
    QString waitText;
    dialUp.onStatusQuery = [&] { waitText = ShownWaitText(); };
    window->Disconnect();
    EXPECT_EQ(dialUp.calls.first(), QStringLiteral("hangup ") + EntryId);
    EXPECT_EQ(dialUp.statusQueries, 3);
    EXPECT_EQ(dialUp.pauses, 2);
    EXPECT_EQ(waitText, ConnectText::HangingUp);
    EXPECT_TRUE(ShownWaitText().isEmpty());
    EXPECT_TRUE(LooksDisconnected());
}

TEST_F(DialUpConnectTest, HangUpWaitEndsAfterSixtySecondsWhenNeverDown)
{
    ConnectToNowhere();
    dialUp.pauses = 0;
    dialUp.states = {DialState::Connected};
    window->Disconnect();
    EXPECT_EQ(dialUp.pauses, 60);
    EXPECT_TRUE(LooksDisconnected());
}

TEST_F(DialUpConnectTest, DisconnectWithoutAnyDialFindsNoConnection)
{
    window->Disconnect();
    EXPECT_EQ(dialUp.calls, (QStringList{QStringLiteral("hangup "), QStringLiteral("status ")}));
    EXPECT_EQ(dialUp.pauses, 0);
}

TEST_F(DialUpConnectTest, NothingDialledOrHungUpWhenDialUpIsOff)
{
    SettingsStore::WriteFlag(SettingName::UseAutoDialUp, false);
    ConnectToNowhere();
    EXPECT_TRUE(WentOnToTheLogin());
    window->Disconnect();
    EXPECT_TRUE(dialUp.calls.isEmpty());
}

}  // namespace
