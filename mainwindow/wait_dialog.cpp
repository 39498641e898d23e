#include "mainwindow/wait_dialog.h"

#include "mainwindow/dialog_units.h"
#include "mainwindow/strings.h"
#include "ui_wait_box.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace {
// A person cannot read more than a few changes a second; painting more often only slows a fast
// transfer down.
constexpr qint64 DefaultMinRepaintIntervalMs = 100;
}  // namespace

WaitDialog::WaitDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::WaitDialogForm>()),
      minRepaintIntervalMs(DefaultMinRepaintIntervalMs)
{
    ui->setupUi(this);
    cancelButton = new QPushButton(MainText::CancelButton, this);
    cancelButton->setAccessibleName(MainText::CancelButtonName);
    cancelButton->setAutoDefault(false);
    cancelButton->hide();
    layout()->addWidget(cancelButton);
    layout()->setAlignment(cancelButton, Qt::AlignHCenter);
    connect(cancelButton, &QPushButton::clicked, this, &WaitDialog::CancelRequested);
    setMinimumSize(DialogUnitsToPixels(*this, 97, 22).expandedTo(minimumSizeHint()));
}

WaitDialog::~WaitDialog() = default;

void WaitDialog::ShowBox()
{
    ui->messageLabel->setText(message);
    PaintExtras();
    adjustSize();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
}

void WaitDialog::OpenBox()
{
    ShowBox();
    // The caller blocks right after this: let the window system map and expose the box first,
    // or it never appears. User input stays queued for later.
    for (int round = 0; round < 50 && !windowHandle()->isExposed(); ++round)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Paint();
}

void WaitDialog::SetMessage(const QString& text)
{
    message = text;
    if (!isVisible()) {
        ui->messageLabel->setText(message);
        return;
    }
    if (sinceRepaint.isValid() && sinceRepaint.elapsed() < minRepaintIntervalMs) {
        pendingRepaint = true;
        return;
    }
    Paint();
}

void WaitDialog::CloseBox()
{
    // The last text is always seen, even when it came too soon after the one before.
    if (pendingRepaint && isVisible())
        Paint();
    // Not close(): a close request stands for Esc, which only asks for a cancel.
    done(QDialog::Rejected);
}

void WaitDialog::SetCancellable(bool cancellable)
{
    cancelButton->setVisible(cancellable);
}

void WaitDialog::reject()
{
    // Esc: the box goes only when the work it stands for has ended.
    if (cancelButton->isVisible())
        emit CancelRequested();
}

void WaitDialog::InsertBelowMessage(QWidget* widget)
{
    auto* box = static_cast<QBoxLayout*>(layout());
    box->insertWidget(box->indexOf(ui->messageLabel) + 1, widget);
}

QString WaitDialog::ShownText() const
{
    return ui->messageLabel->text();
}

void WaitDialog::Paint()
{
    ui->messageLabel->setText(message);
    PaintExtras();
    // No event loop runs while the caller is busy, so the layout is brought up to date here.
    if (const QSize wanted = size().expandedTo(sizeHint()); wanted != size())
        resize(wanted);
    layout()->activate();
    repaint();
    pendingRepaint = false;
    sinceRepaint.start();
}
