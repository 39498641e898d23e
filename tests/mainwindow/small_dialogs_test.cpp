// The wait box and the new-folder and rename dialogs, run as a person runs them.
#include "mainwindow/small_dialogs.h"
#include "mainwindow/wait_dialog.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

// Runs the dialog modally; once it is on screen, does what a person would.
int RunWith(QDialog& dialog, std::function<void(QDialog&)> person)
{
    QTimer::singleShot(0, &dialog, [&dialog, person] {
        QTest::qWaitForWindowExposed(&dialog);
        person(dialog);
    });
    return dialog.exec();
}

void ClickOk(QDialog& dialog)
{
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

// Records the text of the label each time it is painted.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QLabel* label) : label(label) { label->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted << label->text();
        return false;
    }
    QLabel* label;
    QStringList painted;
};

TEST(NewFolderDialogTest, HandsBackTheTypedNameOnOk)
{
    NewFolderDialog dialog;
    const int result = RunWith(dialog, [](QDialog& d) {
        auto& newFolder = static_cast<NewFolderDialog&>(d);
        QTest::keyClicks(newFolder.NameEdit(), QStringLiteral(" new  folder "));
        ClickOk(d);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.folderName, QStringLiteral(" new  folder "));
}

TEST(NewFolderDialogTest, EnterConfirmsAnEmptyNameAndEscapeKeepsTheField)
{
    NewFolderDialog confirmed;
    EXPECT_EQ(RunWith(confirmed, [](QDialog& d) {
                  QTest::keyClick(static_cast<NewFolderDialog&>(d).NameEdit(), Qt::Key_Return);
              }),
              QDialog::Accepted);
    EXPECT_TRUE(confirmed.folderName.isEmpty());

    NewFolderDialog cancelled;
    cancelled.folderName = QStringLiteral("before");
    EXPECT_EQ(RunWith(cancelled, [](QDialog& d) {
                  auto* edit = static_cast<NewFolderDialog&>(d).NameEdit();
                  QTest::keyClicks(edit, QStringLiteral("typed"));
                  QTest::keyClick(edit, Qt::Key_Escape);
              }),
              QDialog::Rejected);
    EXPECT_EQ(cancelled.folderName, QStringLiteral("before"));
}

TEST(RenameDialogTest, ShowsTheCurrentNameAndHandsItBackUnchanged)
{
    RenameDialog dialog;
    dialog.newName = QStringLiteral("a.txt");
    QString shown;
    const int result = RunWith(dialog, [&shown](QDialog& d) {
        shown = static_cast<RenameDialog&>(d).NameEdit()->text();
        ClickOk(d);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(shown, QStringLiteral("a.txt"));
    EXPECT_EQ(dialog.newName, QStringLiteral("a.txt"));
}

TEST(RenameDialogTest, TypedPathOnOkAndNothingOnCancel)
{
    RenameDialog moved;
    moved.newName = QStringLiteral("a.txt");
    RunWith(moved, [](QDialog& d) {
        auto* edit = static_cast<RenameDialog&>(d).NameEdit();
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("../old/b c.txt"));
        ClickOk(d);
    });
    EXPECT_EQ(moved.newName, QStringLiteral("../old/b c.txt"));

    RenameDialog cancelled;
    cancelled.newName = QStringLiteral("a.txt");
    const int result = RunWith(cancelled, [](QDialog& d) {
        auto* edit = static_cast<RenameDialog&>(d).NameEdit();
        edit->clear();
        d.close();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(cancelled.newName, QStringLiteral("a.txt"));
}

TEST(WaitDialogTest, AppearsWithItsMessageBeforeTheCallerBlocks)
{
    WaitDialog box;
    box.message = QStringLiteral("準備中です\nしばらくお待ちください");
    PaintRecorder recorder(box.findChild<QLabel*>());
    box.OpenBox();
    // No event loop runs from here on, as while a transfer blocks the thread.
    EXPECT_TRUE(box.isVisible());
    EXPECT_TRUE(box.windowHandle()->isExposed());
    ASSERT_FALSE(recorder.painted.isEmpty());
    EXPECT_EQ(recorder.painted.last(), box.message);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("お待ちください・・・"));
    box.CloseBox();
    EXPECT_FALSE(box.isVisible());
}

TEST(WaitDialogTest, EachMessagePaintsAtOnceWhileTheThreadIsBusy)
{
    WaitDialog box;
    box.SetMinRepaintInterval(0);
    box.message = QStringLiteral("start");
    PaintRecorder recorder(box.findChild<QLabel*>());
    box.OpenBox();
    for (int bytes = 255; bytes <= 2550; bytes += 255) {
        const QString text = QStringLiteral("...a.bin\n%1/2550").arg(bytes);
        box.SetMessage(text);
        ASSERT_FALSE(recorder.painted.isEmpty());
        EXPECT_EQ(recorder.painted.last(), text);
        EXPECT_EQ(box.ShownText(), text);
    }
}

TEST(WaitDialogTest, FastMessagesSkipPaintingButTheFirstAndLastAreShown)
{
    WaitDialog box;
    box.SetMinRepaintInterval(std::numeric_limits<qint64>::max());
    box.message = QStringLiteral("first");
    PaintRecorder recorder(box.findChild<QLabel*>());
    box.OpenBox();
    const qsizetype paintsAfterOpen = recorder.painted.size();
    EXPECT_EQ(box.ShownText(), QStringLiteral("first"));

    for (int i = 0; i < 1000; ++i)
        box.SetMessage(QString::number(i));
    EXPECT_EQ(recorder.painted.size(), paintsAfterOpen);
    EXPECT_EQ(box.ShownText(), QStringLiteral("first"));

    box.CloseBox();
    EXPECT_EQ(recorder.painted.last(), QStringLiteral("999"));
}

}  // namespace
