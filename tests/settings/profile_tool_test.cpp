// The profile tool the demo uses to prepare a settings folder.
#include "settings/connection_profile.h"
#include "settings/password_vault.h"
#include "settings/settings_store.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temp_config_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

// The password goes to the tool's standard input.
int RunTool(const QStringList& arguments, const QByteArray& input = "p\n")
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(QStringLiteral(PROFILE_TOOL_PATH), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(-1) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    return tool.exitCode();
}

// A text the store would read back as empty is refused, not stored as a profile that then looks
// like a free slot; the longest text that reads back whole is stored.
TEST(ProfileToolTest, RefusesTextsTheStoreCannotReadBack)
{
    TempConfigDir config;
    const QString fits(SettingsStore::MaxTextLength, QLatin1Char('d'));
    const QString tooLong = fits + QLatin1Char('d');

    EXPECT_NE(RunTool({QStringLiteral("demo"), QStringLiteral("127.0.0.1"), QStringLiteral("u"), tooLong}), 0);
    EXPECT_NE(RunTool({tooLong, QStringLiteral("127.0.0.1"), QStringLiteral("u")}), 0);
    EXPECT_NE(RunTool({QStringLiteral("demo"), QStringLiteral("127.0.0.1"), QStringLiteral("u")}, tooLong.toUtf8()), 0);
    EXPECT_EQ(ConnectionProfile::FindProfileSlot(QStringLiteral("demo")), 0);
    EXPECT_EQ(ConnectionProfile::FindProfileSlot(QString()), 1);

    ASSERT_EQ(RunTool({QStringLiteral("demo"), QStringLiteral("127.0.0.1"), QStringLiteral("u"), fits}), 0);
    ConnectionProfile profile;
    ASSERT_TRUE(profile.LoadProfile(QStringLiteral("demo")));
    EXPECT_EQ(profile.localInitDir, fits);
}

// The password is read from standard input, never taken from the command line, where every user
// of the machine could read it.
TEST(ProfileToolTest, ReadsThePasswordFromStandardInput)
{
    TempConfigDir config;
    PasswordVault::UseStoreOnly();
    ASSERT_EQ(RunTool({QStringLiteral("demo"), QStringLiteral("127.0.0.1:2121"), QStringLiteral("u"),
                       QStringLiteral("/tmp"), QStringLiteral("/")},
                      "pass word\r\nnext line\n"),
              0);
    ConnectionProfile profile;
    ASSERT_TRUE(profile.LoadProfile(QStringLiteral("demo")));
    EXPECT_EQ(profile.password, QStringLiteral("pass word"));
    EXPECT_EQ(profile.localInitDir, QStringLiteral("/tmp"));
    EXPECT_EQ(profile.remoteInitDir, QStringLiteral("/"));

    // Nothing on standard input: no profile with an empty password.
    EXPECT_NE(RunTool({QStringLiteral("other"), QStringLiteral("127.0.0.1"), QStringLiteral("u")}, {}), 0);
    EXPECT_EQ(ConnectionProfile::FindProfileSlot(QStringLiteral("other")), 0);
}

}  // namespace
