// Server work while the window stays live: 中止 at each stage of a transfer against the real
// servers in both modes and of a listing against the scripted peer, the files each cancel leaves,
// the connection in step afterwards, and the window answering the local pane meanwhile.
#include "tests/mainwindow/cancel_press.h"
#include "tests/mainwindow/files_fixture.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// A file that no loopback transfer moves whole before 中止 is pressed, even on an idle or a
// loaded machine: 1 GiB, sparse, so it costs no disk (only what moved before the cancel is
// written on the other side).
void MakeHugeSparseFile(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(1) << 30));
}

}  // namespace

using LiveWindowTest = RemoteFilesTest;

TEST_P(LiveWindowTest, CancelledDownloadLeavesTheTargetsAsTheyWereWhileThePaneStaysUsable)
{
    window->SelectBinaryMode();
    // The server's big.bin is the sparse 1 GiB: no download of it ends before 中止 is pressed.
    PutRemoteFile(QStringLiteral("big.bin"), QByteArray());
    MakeHugeSparseFile(InFolder(QStringLiteral("big.bin")));
    PutRemoteFile(QStringLiteral("small.bin"), "tail");
    WriteFile(Scratch(QStringLiteral("small.bin")), "kept");
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("big.bin"), QStringLiteral("small.bin")}));

    // During the transfer the local pane repaints and takes a click.
    int paintsDuringWork = 0;
    PaneView& pane = LocalList();
    QTreeView& local = pane.Tree();
    local.setCurrentIndex(QModelIndex());
    struct PaintCount : QObject {
        int* count;
        MainWindow* window;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && window->IsServerWorkRunning())
                ++*count;
            return false;
        }
    } paintCount;
    paintCount.count = &paintsDuringWork;
    paintCount.window = window.get();
    local.viewport()->installEventFilter(&paintCount);
    // As the program runs it (exec): modal, so a box that is not the window's own child would
    // get no clicks and no keys.
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    QString clickedDuringWork;
    const auto clickLocal = [&] {
        local.viewport()->update();
        if (!clickedDuringWork.isEmpty() || pane.RowCount() == 0)
            return;
        QTest::mouseClick(local.viewport(), Qt::LeftButton, {}, local.visualRect(pane.Model().index(0, 0)).center());
        if (local.currentIndex().isValid())
            clickedDuringWork = RowText(pane, local.currentIndex().row());
    };

    prompter.QueueAnswer(true);  // the batch question; small.bin's overwrite question never comes
    PressCancelWhen cancel(ShowsBytesMoved, false, clickLocal);
    window->DownloadSelection();

    EXPECT_TRUE(cancel.pressed);
    EXPECT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(window->LogText(), QStringLiteral("中止しました"));
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("big.bin"))));
    EXPECT_TRUE(QFile::exists(Scratch(QStringLiteral("big.bin.part"))));  // kept for a resume
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("small.bin"))), QByteArray("kept"));
    EXPECT_GT(paintsDuringWork, 0);
    EXPECT_EQ(clickedDuringWork, QStringLiteral(".."));
    EXPECT_FALSE(window->IsServerWorkRunning());
    // The connection is in step: the next command reads its own reply.
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder()) << Reply();
}

TEST_P(LiveWindowTest, CancelledUploadRemovesANewFileAndSaysAReplacedOneIsIncomplete)
{
    window->SelectBinaryMode();
    // As the window's connect does: what the server offers tells whether it can say that a name
    // is free, which decides whether a cancelled upload's file goes again.
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    MakeHugeSparseFile(Scratch(QStringLiteral("new.bin")));
    MakeHugeSparseFile(Scratch(QStringLiteral("old.bin")));
    PutRemoteFile(QStringLiteral("old.bin"), "previous");
    Relist();
    // On the server, not yet in the pane: the listing after 中止 shows it (the window lists
    // again only while it shows itself connected, as a connect leaves it).
    PutRemoteFile(QStringLiteral("meanwhile.bin"), "x");
    MainWindowTestAccess::SetConnectedState(*window, true);
    MainWindowTestAccess::ShowLocal(*window, Scratch());

    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("new.bin")}));
    prompter.QueueAnswer(true);
    {
        PressCancelWhen cancel(ShowsBytesMoved, true);  // Esc presses 中止
        window->UploadSelection();
        EXPECT_TRUE(cancel.pressed);
    }
    EXPECT_EQ(window->LogText(), QStringLiteral("中止しました"));
    // The file goes again once the server has answered ABOR, after the box has gone; the remote
    // pane is listed again then.
    for (int wait = 0; wait < 200 && FindRow(RemoteList(), QStringLiteral("meanwhile.bin")) < 0; ++wait)
        QTest::qWait(50);
    EXPECT_GE(FindRow(RemoteList(), QStringLiteral("meanwhile.bin")), 0);
    EXPECT_LT(FindRow(RemoteList(), QStringLiteral("new.bin")), 0);
    EXPECT_EQ(window->LogText(), QStringLiteral("中止しました"));
    MainWindowTestAccess::Session(*window);
    EXPECT_FALSE(QFile::exists(InFolder(QStringLiteral("new.bin"))));

    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("old.bin")}));
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);  // overwrite
    {
        PressCancelWhen cancel(ShowsBytesMoved);
        window->UploadSelection();
        EXPECT_TRUE(cancel.pressed);
    }
    EXPECT_EQ(window->LogText(), AsLogShows(QStringLiteral("中止しました\nサーバー上の old.bin は途中までしか書かれていません")));
    EXPECT_TRUE(QFile::exists(InFolder(QStringLiteral("old.bin"))));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder()) << Reply();
}

INSTANTIATE_TEST_SUITE_P(Servers, LiveWindowTest, ::testing::ValuesIn(AllServers()));

class LiveListingTest : public FilesTest {
protected:
    ScriptedFtpPeer peer;
};

TEST_F(LiveListingTest, CancelledListingAbortsLeavesTheParentAloneAndKeepsTheConnectionInStep)
{
    std::atomic<bool> listing{false};
    peer.Login()
        .Answer("250 ok")                       // CWD sub
        .Answer("200 ok").Answer("200 PORT ok")  // TYPE, PORT
        .Answer("150 here comes nothing")
        .Do([&] { listing = true; })
        .Read()                                 // ABOR
        .Send("426 aborted\r\n225 no transfer\r\n")
        .Answer("257 \"/sub\" is the current directory");
    TransferSession& session = MainWindowTestAccess::Session(*window);
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    ASSERT_TRUE(session.UserLogin(QStringLiteral("me"), QStringLiteral("secret")));
    MainWindowTestAccess::AddRemoteEntry(*window, QStringLiteral("sub"), EntryKind::Folder);
    RemoteList().setFocus();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<sub>")));

    PressCancelWhen cancel([&](const QString&) { return listing.load(); });
    window->OpenRemoteEntry();

    EXPECT_TRUE(cancel.pressed);
    EXPECT_EQ(window->LogText(), QStringLiteral("中止しました"));
    EXPECT_EQ(PaneTexts(RemoteList()), QStringList{QStringLiteral("..")});
    // Through the window, which waits until the abort's replies are settled on its worker.
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), QStringLiteral("/sub"));
    ASSERT_TRUE(peer.WaitScriptDone()) << peer.Errors().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(peer.Commands().contains("ABOR"));
    EXPECT_EQ(peer.Commands().last(), "PWD");
}

TEST_F(LiveListingTest, ACompletedDownloadAnsweredWith250ShowsTheUpdatingTextAndSucceeds)
{
    peer.Login().Answer("200 ok").Answer("200 PORT ok").Answer("150 sending").ConnectData()
        .SendData("hello").CloseData().Send("250 done\r\n");
    TransferSession& session = MainWindowTestAccess::Session(*window);
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    ASSERT_TRUE(session.UserLogin(QStringLiteral("me"), QStringLiteral("secret")));
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    MainWindowTestAccess::SetRemotePath(*window, QStringLiteral("/"));
    MainWindowTestAccess::AddRemoteEntry(*window, QStringLiteral("a.txt"));
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("a.txt")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("a.txt"))), QByteArray("hello"));
    EXPECT_EQ(window->LogText(), QStringLiteral("ダウンロードが完了しました"));
}
