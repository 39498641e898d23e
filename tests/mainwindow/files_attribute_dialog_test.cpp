// The permission dialog: the listing's mode string to boxes and label, and the boxes back to a
// mode text.
#include "mainwindow/attribute_dialog.h"
#include "resources/resource_ids.h"
#include "tests/support/qt_printers.h"

#include <QCheckBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

RemoteEntryList ListOf(const QString& permissions)
{
    RemoteEntryList entries;
    ListingEntry other;
    other.name = QStringLiteral("other");
    other.listedMode = QStringLiteral("-rw-r--r--");
    ListingEntry entry;
    entry.name = QStringLiteral("f");
    entry.listedMode = permissions;
    entries << other << entry;
    return entries;
}

bool Ticked(const AttributeDialog& dialog, int id)
{
    return static_cast<QCheckBox*>(dialog.Control(id))->isChecked();
}

void Tick(AttributeDialog& dialog, int id, bool on)
{
    static_cast<QCheckBox*>(dialog.Control(id))->setChecked(on);
}

}  // namespace

TEST(PermissionsToNumberTest, CountsOnlyTheLettersInTheirOwnPlaces)
{
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("-rwxr-x---")), 750);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("drwxr-xr-x")), 755);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("-rwsr-xr-x")), 4755);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("-rwSrwsrwT")), 7676);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("drwxrwxrwt")), 1777);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("----r--r--")), 44);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("----------")), 0);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("-xrw------")), 0);
    EXPECT_EQ(PermissionsToNumber(QStringLiteral("-rw")), 600);
    EXPECT_EQ(PermissionsToNumber(QString()), 0);
}

TEST(AttributeDialogTest, LoadsTheEntryAtTheIndexIntoBoxesAndLabel)
{
    AttributeDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tallowin 属性変更"));
    dialog.LoadFromEntry(ListOf(QStringLiteral("-rwxr-x---")), 1);
    EXPECT_EQ(dialog.currentLabel, QStringLiteral("現在の属性：750"));
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(AttributeControlId::CurrentLabel))->text(),
              QStringLiteral("現在の属性：750"));
    const int ticked[] = {AttributeControlId::OwnerRead, AttributeControlId::OwnerWrite,
                          AttributeControlId::OwnerExecute, AttributeControlId::GroupRead,
                          AttributeControlId::GroupExecute};
    const int clear[] = {AttributeControlId::GroupWrite, AttributeControlId::AllRead,
                         AttributeControlId::AllWrite, AttributeControlId::AllExecute};
    for (int id : ticked)
        EXPECT_TRUE(Ticked(dialog, id)) << id;
    for (int id : clear)
        EXPECT_FALSE(Ticked(dialog, id)) << id;
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("750"));
}

TEST(AttributeDialogTest, SpecialBitsShowTheirExecuteAndAreKept)
{
    AttributeDialog dialog;
    dialog.LoadFromEntry(ListOf(QStringLiteral("-rwsr-xr-x")), 1);
    EXPECT_TRUE(Ticked(dialog, AttributeControlId::OwnerExecute));
    EXPECT_EQ(dialog.currentLabel, QStringLiteral("現在の属性：4755"));
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("4755"));

    // A sticky folder open to all keeps search for others and its sticky bit.
    dialog.LoadFromEntry(ListOf(QStringLiteral("drwxrwxrwt")), 1);
    EXPECT_TRUE(Ticked(dialog, AttributeControlId::AllExecute));
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("1777"));

    // Capitals are the special bit without execute; a box changed under OK keeps the bits.
    dialog.LoadFromEntry(ListOf(QStringLiteral("-rwSr-Sr-T")), 1);
    EXPECT_FALSE(Ticked(dialog, AttributeControlId::OwnerExecute));
    EXPECT_FALSE(Ticked(dialog, AttributeControlId::GroupExecute));
    EXPECT_FALSE(Ticked(dialog, AttributeControlId::AllExecute));
    Tick(dialog, AttributeControlId::AllExecute, true);
    dialog.accept();
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("7645"));
}

TEST(AttributeDialogTest, OkTakesTheBoxesAndAlwaysGivesThreeDigits)
{
    AttributeDialog dialog;
    dialog.LoadFromEntry(ListOf(QStringLiteral("-rwxrwxrwx")), 1);
    for (int id = AttributeControlId::OwnerRead; id <= AttributeControlId::AllExecute; ++id)
        if (dialog.Control(id) && id != AttributeControlId::CurrentLabel)
            Tick(dialog, id, false);
    dialog.accept();
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("000"));

    Tick(dialog, AttributeControlId::OwnerRead, true);
    Tick(dialog, AttributeControlId::OwnerWrite, true);
    dialog.accept();
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("600"));
    EXPECT_EQ(dialog.ownerRead, 1);
    EXPECT_EQ(dialog.ownerExecute, 0);
}

// A listing without modes: the boxes start clear and the label says so; OK gives a mode to
// send only once a box was changed.
TEST(AttributeDialogTest, AnUnknownModeIsSentOnlyAsTheBoxesWereChanged)
{
    AttributeDialog dialog;
    dialog.LoadFromEntry(ListOf(QString()), 1);
    EXPECT_EQ(dialog.currentLabel, QStringLiteral("現在の属性：不明"));
    dialog.accept();
    EXPECT_FALSE(dialog.HasModeToSend());
    Tick(dialog, AttributeControlId::OwnerRead, true);
    dialog.accept();
    EXPECT_TRUE(dialog.HasModeToSend());
    dialog.LoadFromEntry(ListOf(QStringLiteral("----------")), 1);
    EXPECT_TRUE(dialog.HasModeToSend());
}

TEST(AttributeDialogTest, CancelLeavesTheFieldsAsLoaded)
{
    AttributeDialog dialog;
    dialog.LoadFromEntry(ListOf(QStringLiteral("-rw-r--r--")), 1);
    Tick(dialog, AttributeControlId::AllWrite, true);
    dialog.reject();
    EXPECT_EQ(dialog.allWrite, 0);
    EXPECT_EQ(dialog.GetModeText(), QStringLiteral("644"));
}
