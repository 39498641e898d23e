#include "fuzz/entry_points.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// Runs every saved input of one target; a broken promise aborts the program, which fails the
// test. Returns how many inputs ran.
int Replay(const char* folder, void (*entry)(const uint8_t*, size_t))
{
    const QDir dir(QStringLiteral(FUZZ_CORPUS_DIR "/") + QLatin1String(folder));
    int count = 0;
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray input = file.readAll();
        SCOPED_TRACE(name.toStdString());
        entry(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
        ++count;
    }
    return count;
}

TEST(FuzzCorpus, ReplyReader)
{
    EXPECT_GT(Replay("reply_reader", FuzzReplyReader), 0);
}

TEST(FuzzCorpus, PassiveReply)
{
    EXPECT_GT(Replay("passive_reply", FuzzPassiveReply), 0);
}

}  // namespace
