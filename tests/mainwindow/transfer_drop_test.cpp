// Drag and drop between the panes and from a file manager, through the window against the real
// servers: a drop asks the question ">" or "<" asks and moves the files the same way.
#include "tests/mainwindow/files_fixture.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Drops the data in the middle of the pane's list, as a mouse release there would, and lets the
// window take the drop up. Whether the pane took the drop.
bool DropOn(MainWindow& window, PaneView& pane, QMimeData& data)
{
    QWidget* viewport = pane.Tree().viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    // The window answers once the drag has ended: the call it queued for that.
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    return drop.isAccepted();
}

// What dragging the rows with these texts out of the pane gives.
std::unique_ptr<QMimeData> Dragged(PaneView& pane, const QStringList& texts)
{
    QModelIndexList indexes;
    for (const QString& text : texts) {
        const int row = FindRow(pane, text);
        if (row >= 0)
            indexes << pane.Model().index(row, 0);
    }
    return std::unique_ptr<QMimeData>(pane.Model().mimeData(indexes));
}

std::unique_ptr<QMimeData> Uris(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

}  // namespace

using TransferDropTest = RemoteFilesTest;

TEST_P(TransferDropTest, FilesFromAnotherFolderDroppedOnTheRemotePaneAreUploaded)
{
    MainWindowTestAccess::SetConnectedState(*window, true);
    window->SelectBinaryMode();
    // Not the folder the local pane shows.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString file = QDir(elsewhere.path()).filePath(QStringLiteral("far.txt"));
    WriteFile(file, "far away\n");
    ASSERT_TRUE(QDir(elsewhere.path()).mkpath(QStringLiteral("tree/leaf")));
    WriteFile(QDir(elsewhere.path()).filePath(QStringLiteral("tree/leaf/deep.bin")), "deep");

    prompter.QueueAnswer(false);
    const auto justTheFile = Uris({file});
    ASSERT_TRUE(DropOn(*window, RemoteList(), *justTheFile));
    EXPECT_EQ(prompter.questions, QStringList{QStringLiteral("1 個のファイルをアップロードしますか？")});
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("far.txt"))));

    prompter.QueueAnswer(true);
    const auto both = Uris({file, QDir(elsewhere.path()).filePath(QStringLiteral("tree"))});
    ASSERT_TRUE(DropOn(*window, RemoteList(), *both));
    ASSERT_EQ(prompter.questions.size(), 2);
    EXPECT_TRUE(prompter.questions[1].startsWith(QStringLiteral("2 個のフォルダと 2 個のファイル")))
        << prompter.questions[1].toStdString();
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("far.txt"))), QByteArray("far away\n"));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("tree/leaf/deep.bin"))), QByteArray("deep"));
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("<tree>")));
    // The local pane still shows its own folder.
    EXPECT_EQ(window->LocalPath(), Scratch());
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_P(TransferDropTest, RowsDraggedBetweenThePanesGoAsTheArrowsSendThem)
{
    MainWindowTestAccess::SetConnectedState(*window, true);
    window->SelectBinaryMode();
    WriteFile(Scratch(QStringLiteral("a.txt")), "a\n");
    WriteFile(Scratch(QStringLiteral("b.bin")), "bb");
    PutRemoteFile(QStringLiteral("down.txt"), "from the server");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    Relist();

    // Local rows onto the remote pane: the upload's question, then the files.
    const auto up = Dragged(LocalList(), {QStringLiteral("a.txt"), QStringLiteral("b.bin")});
    ASSERT_TRUE(up);
    prompter.QueueAnswer(true);
    ASSERT_TRUE(DropOn(*window, RemoteList(), *up));
    EXPECT_EQ(prompter.questions, QStringList{QStringLiteral("2 個のファイルをアップロードしますか？")});
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("a.txt"))), QByteArray("a\n"));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("b.bin"))), QByteArray("bb"));

    // Remote rows onto the local pane: the download's.
    const auto down = Dragged(RemoteList(), {QStringLiteral("down.txt")});
    ASSERT_TRUE(down);
    prompter.QueueAnswer(true);
    ASSERT_TRUE(DropOn(*window, LocalList(), *down));
    ASSERT_EQ(prompter.questions.size(), 2);
    EXPECT_EQ(prompter.questions[1], QStringLiteral("1 個のファイルをダウンロードしますか？"));
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("down.txt"))), QByteArray("from the server"));
    EXPECT_TRUE(PaneTexts(LocalList()).contains(QStringLiteral("down.txt")));

    // A pane does not take its own rows.
    const auto own = Dragged(LocalList(), {QStringLiteral("a.txt")});
    EXPECT_FALSE(DropOn(*window, LocalList(), *own));
    EXPECT_EQ(prompter.questions.size(), 2);
}

TEST_P(TransferDropTest, FilesDroppedOnTheLocalPaneDoNothing)
{
    MainWindowTestAccess::SetConnectedState(*window, true);
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString file = QDir(elsewhere.path()).filePath(QStringLiteral("stay.txt"));
    WriteFile(file, "stay");
    const QStringList before = PaneTexts(LocalList());

    const auto data = Uris({file});
    DropOn(*window, LocalList(), *data);
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Scratch(QStringLiteral("stay.txt"))));
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("stay.txt"))));
    EXPECT_EQ(PaneTexts(LocalList()), before);
    EXPECT_EQ(window->LocalPath(), Scratch());
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferDropTest, ::testing::ValuesIn(AllServers()));
