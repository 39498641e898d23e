#include "mainwindow/progress_box.h"

#include "mainwindow/progress_texts.h"
#include "mainwindow/strings.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <cmath>

namespace {
constexpr int BarMaximum = 1000;
// As much of a name as the text above shows.
constexpr int ShownNameLength = 15;

QProgressBar* MakeBar(QWidget* parent, const QString& name)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, BarMaximum);
    bar->setTextVisible(false);
    bar->setAccessibleName(name);
    return bar;
}

QLabel* MakeLine(QWidget* parent, const QString& name)
{
    auto* line = new QLabel(parent);
    line->setAlignment(Qt::AlignCenter);
    line->setTextFormat(Qt::PlainText);
    line->setAccessibleName(name);
    return line;
}

void ShowOnBar(QProgressBar& bar, int perMille)
{
    // Unknown: the bar moves to and fro instead of standing at a made-up place.
    if (perMille < 0) {
        bar.setRange(0, 0);
        return;
    }
    bar.setRange(0, BarMaximum);
    bar.setValue(perMille);
}
}  // namespace

int ProgressPerMille(qint64 done, qint64 total)
{
    if (total <= 0)
        return -1;
    // In doubles: done * 1000 can pass what a qint64 holds for a size a listing claims.
    const double share = std::floor(double(qMax<qint64>(done, 0)) * BarMaximum / double(total));
    return int(qMin<double>(share, BarMaximum));
}

QString ProgressSizeLine(const BatchProgress& progress)
{
    qint64 done = 0;
    qint64 total = 0;
    if (progress.isBatch) {
        done = progress.bytesDone;
        total = progress.bytes;
    } else if (!progress.connections.isEmpty()) {
        done = progress.connections.first().bytes;
        total = progress.connections.first().total;
    }
    if (total <= 0)
        return ByteSizeText(done, true);
    return ChromeText::SizeLine.arg(ByteSizeText(done, true), ByteSizeText(total, true));
}

QStringList ConnectionLines(const BatchProgress& progress)
{
    QStringList lines;
    for (qsizetype index = 1; index < progress.connections.size(); ++index) {
        const FileProgress& file = progress.connections[index];
        // A connection still logging in, or between two files, has nothing to show.
        if (file.name.isEmpty())
            continue;
        const QString total = file.total < 0 ? QStringLiteral("?") : ByteSizeText(file.total, true);
        lines << ChromeText::ConnectionLine.arg(QString::number(index + 1), file.name.right(ShownNameLength),
                                                ByteSizeText(file.bytes, true), total);
    }
    return lines;
}

ProgressBox::ProgressBox(QWidget* parent) : WaitDialog(parent)
{
    figuresPanel = new QWidget(this);
    auto* column = new QVBoxLayout(figuresPanel);
    column->setContentsMargins(0, 0, 0, 0);
    fileBar = MakeBar(figuresPanel, ChromeText::FileBarName);
    filesBar = MakeBar(figuresPanel, ChromeText::FilesBarName);
    bytesBar = MakeBar(figuresPanel, ChromeText::BytesBarName);
    sizeLine = MakeLine(figuresPanel, ChromeText::SizeLineName);
    rateLine = MakeLine(figuresPanel, ChromeText::RateLineName);
    connectionPanel = new QWidget(figuresPanel);
    connectionPanel->setAccessibleName(ChromeText::ConnectionLinesName);
    auto* connectionColumn = new QVBoxLayout(connectionPanel);
    connectionColumn->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : {static_cast<QWidget*>(fileBar), static_cast<QWidget*>(filesBar),
                            static_cast<QWidget*>(bytesBar), static_cast<QWidget*>(sizeLine),
                            static_cast<QWidget*>(rateLine), connectionPanel})
        column->addWidget(widget);
    // Wide enough that the bars read as bars, not as dots.
    figuresPanel->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    figuresPanel->hide();
    InsertBelowMessage(figuresPanel);
}

ProgressBox::~ProgressBox() = default;

void ProgressBox::SetFigures(const BatchProgress& progress)
{
    figures = progress;
    SetMessage(ProgressBoxText(progress));
}

void ProgressBox::PaintExtras()
{
    if (!figures) {
        figuresPanel->hide();
        return;
    }
    const BatchProgress& progress = *figures;
    figuresPanel->show();
    if (!progress.connections.isEmpty()) {
        const FileProgress& file = progress.connections.first();
        switch (file.stage) {
        case FileProgress::Stage::Preparing: ShowOnBar(*fileBar, 0); break;
        case FileProgress::Stage::Moving: ShowOnBar(*fileBar, ProgressPerMille(file.bytes, file.total)); break;
        case FileProgress::Stage::Updating: ShowOnBar(*fileBar, BarMaximum); break;
        }
    }
    fileBar->setVisible(!progress.connections.isEmpty());
    filesBar->setVisible(progress.isBatch);
    bytesBar->setVisible(progress.isBatch && progress.bytes > 0);
    if (progress.isBatch) {
        ShowOnBar(*filesBar, ProgressPerMille(progress.filesDone, progress.files));
        ShowOnBar(*bytesBar, ProgressPerMille(progress.bytesDone, progress.bytes));
    }
    sizeLine->setText(ProgressSizeLine(progress));
    // A single file's speed is in the text above; a batch's line is for the whole batch.
    const QString rate = progress.isBatch ? TransferRateText(progress.bytesDone, progress.bytes, progress.elapsedMs)
                                          : QString();
    rateLine->setText(rate);
    rateLine->setVisible(!rate.isEmpty());

    const QStringList lines = ConnectionLines(progress);
    while (connectionLines.size() < lines.size()) {
        QLabel* line = MakeLine(connectionPanel, ChromeText::ConnectionLinesName);
        connectionPanel->layout()->addWidget(line);
        connectionLines << line;
    }
    for (qsizetype index = 0; index < connectionLines.size(); ++index) {
        connectionLines[index]->setVisible(index < lines.size());
        if (index < lines.size())
            connectionLines[index]->setText(lines[index]);
    }
    connectionPanel->setVisible(!lines.isEmpty());
}

QString ProgressBox::SizeLineText() const
{
    return sizeLine->text();
}

QString ProgressBox::RateLineText() const
{
    return rateLine->isHidden() ? QString() : rateLine->text();
}

QStringList ProgressBox::ConnectionLineTexts() const
{
    QStringList texts;
    for (const QLabel* line : connectionLines)
        if (!line->isHidden())
            texts << line->text();
    return texts;
}
