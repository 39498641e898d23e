// Which files automatic mode sends as text.
#include "settings/settings_store.h"
#include "tests/support/temp_config_dir.h"
#include "transfer/transfer_mode.h"
#include "transfer/transfer_session.h"

#include <gtest/gtest.h>

TEST(IsTextModeFileTest, MatchesEndingsCaseSensitivelyWithoutADot)
{
    const QString list = QStringLiteral("txt htm");
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("index.htm"), list));
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("readme.txt"), list));
    // Only whole endings count: a bare suffix would send binary files as text.
    EXPECT_FALSE(IsTextModeFile(QStringLiteral("notatxt"), list));
    const QString wide = QStringLiteral("c h py md");
    for (const char* binary : {"song.flac", "photo.heic", "module.pyc", "data.npy", "model.pth"})
        EXPECT_FALSE(IsTextModeFile(QString::fromLatin1(binary), wide)) << binary;
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("main.c"), wide));
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("/src/a.h"), wide));
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("/src/Makefile"), QStringLiteral("Makefile")));
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("x.tar.txt"), QStringLiteral(".txt")));
    EXPECT_FALSE(IsTextModeFile(QStringLiteral("image.gif"), list));
    EXPECT_FALSE(IsTextModeFile(QStringLiteral("README"), list));
    EXPECT_FALSE(IsTextModeFile(QStringLiteral("notes.TXT"), list));
    // A name shorter than the item is compared whole.
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("html"), QStringLiteral("html")));
    EXPECT_FALSE(IsTextModeFile(QStringLiteral("tml"), QStringLiteral("html")));
    // A download asks with the local path; its end decides.
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("/home/me/a.txt"), list));
}

TEST(IsTextModeFileTest, EmptyItemsMatchNothing)
{
    for (const QString& list : {QString(), QStringLiteral(" txt"), QStringLiteral("txt "),
                                QStringLiteral("txt  htm"), QStringLiteral(" ")}) {
        SCOPED_TRACE(list.toStdString());
        EXPECT_FALSE(IsTextModeFile(QStringLiteral("image.gif"), list));
        EXPECT_FALSE(IsTextModeFile(QString(), list));
    }
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("a.htm"), QStringLiteral("txt  htm")));
    EXPECT_TRUE(IsTextModeFile(QStringLiteral("a.txt"), QStringLiteral(" txt")));
}

TEST(IsTextModeFileTest, TransferOptionsReadTheStoredListEachTime)
{
    TempConfigDir config;
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, true);
    const auto textMode = [](const QString& name) {
        return IsTextModeFile(name, TransferSession::TransferOptions::Read().textEndings);
    };
    SettingsStore::WriteString(SettingName::AutoTransferModeList, QString());
    EXPECT_FALSE(textMode(QStringLiteral("a.txt")));
    SettingsStore::WriteString(SettingName::AutoTransferModeList, QStringLiteral("txt"));
    EXPECT_TRUE(textMode(QStringLiteral("a.txt")));
    // A list too long to read back reads as empty and so matches nothing.
    SettingsStore::WriteString(SettingName::AutoTransferModeList, QStringLiteral("txt").repeated(40));
    EXPECT_FALSE(textMode(QStringLiteral("a.txt")));
}
