#pragma once

#include "engine/ftp_session.h"
#include "transfer/remote_entries.h"
#include "transfer/transfer_progress.h"
#include "transfer/transfer_questions.h"

#include <QString>
#include <QtGlobal>

#include <QDateTime>

#include <functional>
#include <memory>
#include <optional>

class PartialFile;

// A session that carries out the per-file steps of uploads and downloads: reloads the
// passive-mode setting at every connect, reports a transfer's progress as figures, and asks its
// questions through TransferQuestions. It shows nothing itself: it runs on a worker thread, and
// whoever holds it observes it.
class TransferSession : public FtpSession {
public:
    // The settings that steer uploads and downloads.
    struct TransferOptions {
        bool checkOverwrite = false;  // ask before a file is replaced
        bool automaticType = false;   // the type from the name's ending
        QString textEndings;          // the endings sent as text in automatic mode
        bool keepTimestamps = true;   // the modification time goes with the file
        bool verifyTransfers = true;  // binary transfers checked against the server's digest
        // As the settings store holds them now.
        static TransferOptions Read();
    };
    // A batch reads the settings once, on the window's thread, and its files follow them (the
    // options dialog cannot open while it runs); without, each file reads them afresh.
    void HoldTransferOptions(std::optional<TransferOptions> options) { heldOptions = std::move(options); }

    // Called on the session's thread with the figures of the file being moved, at most about ten
    // times a second and always for the first and the last; with nullptr when the transfer has
    // ended. Whoever runs a batch may put its own in for the batch's time (FileProgressShown
    // gives the one to restore).
    using FileFigures = std::function<void(const FileProgress* file)>;
    void SetFileProgressShown(FileFigures shown) { fileFigures = std::move(shown); }
    const FileFigures& FileProgressShown() const { return fileFigures; }
    void ShowFileProgress(const FileProgress* file) const
    {
        if (fileFigures)
            fileFigures(file);
    }

    // Who answers the resume and overwrite questions; without (nullptr) nothing is resumed and
    // nothing is replaced that the settings say to ask about. Not owned.
    void SetQuestions(TransferQuestions* answering) { questions = answering; }

    bool ConnectToServer(const QString& host, quint16 port) override;
    bool RetrieveInto(const QString& remote, DownloadSink& sink, qint64 resumeFrom = 0) override;
    bool StoreFrom(int fileFd, qint64 size, const QString& remote, qint64 resumeAt = 0) override;

    // An upload goes to the name in the server's current folder; byPath sends it to
    // remoteFolder/name instead (files of a folder tree, whatever the current folder).
    // Where a transfer can go on (FtpSession::CanResume) from an earlier one that stopped (a
    // download's partial file, or a shorter file of the name on the server), the user is asked
    // whether to resume first; "はい" goes on without the overwrite question, "いいえ" goes the
    // usual way and starts over.
    bool UploadFile(const QString& localFolder, const QString& remoteFolder, const QString& name,
                    const RemoteEntryList& entries, bool byPath = false);
    bool DownloadFile(const QString& localFolder, const QString& remoteFolder, const QString& name,
                      const RemoteEntryList& entries);

    // One file's way, in the three steps UploadFile and DownloadFile take one after another: a
    // batch over several connections runs them apart, so that the questions of its files come
    // one at a time in the batch's order while other files move. What a step found is carried
    // to the next one here.
    struct FileSteps {
        bool upload = true;
        QString localFolder;
        QString remoteFolder;
        QString name;
        bool byPath = false;
        const RemoteEntryList* entries = nullptr;  // not owned; nullptr for none
        bool targetFree = false;  // see FileJob::targetFree

        // Found by PrepareFile and AskAboutFile.
        TransferOptions options;
        QString localPath;
        QString target;        // an upload's name or path on the server
        int remoteState = 0;   // an upload's RemoteName::State
        qint64 remoteSize = -1;
        bool regularFile = false;
        qint64 resumeAt = 0;   // an upload goes on from here
        bool resume = false;   // a download goes on from its partial file
        QDateTime recordedTime;
        std::optional<QDateTime> askedTime;
        std::shared_ptr<PartialFile> partial;
    };
    // The round trips before the questions (SIZE, MLST, MDTM) and the checks of the local side.
    // False when the file fails here: TransferFailure says why.
    bool PrepareFile(FileSteps& file);
    // The resume and overwrite questions, as the settings and what PrepareFile found call for.
    // False when the user declined: nothing is moved, and nothing failed.
    bool AskAboutFile(FileSteps& file);
    // The transfer itself; true when the file arrived whole.
    bool MoveFile(FileSteps& file);

    // Why the latest UploadFile or DownloadFile failed (the server's reply or a local reason);
    // empty after a success and after the user declined to overwrite. After a cancelled upload:
    // empty when the partial file was deleted again, else that the server's copy is incomplete.
    const QString& TransferFailure() const { return transferFailure; }
    // The text with "照合しました (SHA-256)" on a line below it when the latest transfer was
    // found equal to the server's file; the text alone otherwise.
    QString WithVerification(const QString& text) const;

private:
    // "host:port" of the latest connect: what partial records name the server by.
    const QString& ServerName() const { return serverName; }
    QString DownloadFailureReason(const QString& localPath, const QString& partialPath) const;
    bool PrepareUpload(FileSteps& file);
    bool PrepareDownload(FileSteps& file);
    bool MoveUpload(FileSteps& file);
    bool MoveDownload(FileSteps& file);
    // MLSD's time is exact; a long listing's is rounded and in the server's zone, so MDTM is
    // asked instead, once a file.
    QDateTime RemoteTimeOf(FileSteps& file);
    TransferOptions Options() const { return heldOptions ? *heldOptions : TransferOptions::Read(); }

    std::optional<TransferOptions> heldOptions;
    QString transferFailure;
    QString serverName;
    bool Ask(TransferQuestion question) const;
    FileFigures fileFigures;
    TransferQuestions* questions = nullptr;
};
