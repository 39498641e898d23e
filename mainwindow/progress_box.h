#pragma once

#include "mainwindow/wait_dialog.h"
#include "transfer/transfer_progress.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QLabel;
class QProgressBar;

// The transfer's box: the text the wait box always showed (ProgressBoxText), and below it the
// figures as bars and lines: the running file's bytes, for a batch the files and bytes of all,
// "12.3 MB / 1.0 GB" with the speed and the time left, and one line for each further
// connection's file. "中止" and Esc work as in every cancellable wait box. A box fed only texts
// (SetMessage) shows no bars.
class ProgressBox : public WaitDialog {
    Q_OBJECT

public:
    explicit ProgressBox(QWidget* parent = nullptr);
    ~ProgressBox() override;

    // Shows the figures, repainting at the pace SetMessage does (the last ones always seen).
    void SetFigures(const BatchProgress& progress);

    // What the box shows now, for tests and tools.
    QProgressBar* FileBar() const { return fileBar; }
    QProgressBar* FilesBar() const { return filesBar; }
    QProgressBar* BytesBar() const { return bytesBar; }
    QString SizeLineText() const;
    QString RateLineText() const;
    QStringList ConnectionLineTexts() const;

protected:
    void PaintExtras() override;

private:
    std::optional<BatchProgress> figures;
    QWidget* figuresPanel = nullptr;
    QProgressBar* fileBar = nullptr;
    QProgressBar* filesBar = nullptr;
    QProgressBar* bytesBar = nullptr;
    QLabel* sizeLine = nullptr;
    QLabel* rateLine = nullptr;
    QWidget* connectionPanel = nullptr;
    QList<QLabel*> connectionLines;
};

// The bar's value, 0 to 1000, for done of total; -1 when the total is not known.
int ProgressPerMille(qint64 done, qint64 total);
// "12.3 MB / 1.0 GB" of the batch's bytes, or of the single file's; the bytes alone when the
// total is not known.
QString ProgressSizeLine(const BatchProgress& progress);
// One line per connection after the first: "接続 2: ...name  1.0 MB / 4.0 MB".
QStringList ConnectionLines(const BatchProgress& progress);
