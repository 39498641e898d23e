#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <memory>

class QPushButton;

namespace Ui {
class WaitDialogForm;
}

// The modeless "please wait" box shown while a network or file step runs. A cancellable box has a
// "中止" button, which Esc presses too; it asks for the cancel and stays up until its owner
// closes it. A box that is not cancellable cannot be dismissed. SetMessage repaints at once, so
// the box also shows progress while its own thread is busy.
class WaitDialog : public QDialog {
    Q_OBJECT

public:
    explicit WaitDialog(QWidget* parent = nullptr);
    ~WaitDialog() override;

    // Set before OpenBox: the text the box first shows.
    QString message;

    // Shows the box and lets it be exposed before the caller blocks.
    void OpenBox();
    // Shows the box; the caller's event loop exposes it.
    void ShowBox();
    // Shows the text at once. In a fast loop the box is repainted at most about ten times a
    // second; a text that was skipped is shown by the next call that repaints or by CloseBox.
    void SetMessage(const QString& text);
    void CloseBox();

    // Shows the "中止" button (hidden by default); pressing it or Esc emits CancelRequested.
    void SetCancellable(bool cancellable);
    QPushButton* CancelButton() const { return cancelButton; }

    // The text the box shows now.
    QString ShownText() const;
    // The shortest time between two repaints of SetMessage (100 ms unless changed).
    void SetMinRepaintInterval(qint64 milliseconds) { minRepaintIntervalMs = milliseconds; }

signals:
    void CancelRequested();

protected:
    void reject() override;
    // Each repaint calls this before painting: a box that shows more than its text (the
    // progress box's bars) brings that up to date here, at the same pace as the text.
    virtual void PaintExtras() {}
    // Puts the widget between the text and "中止".
    void InsertBelowMessage(QWidget* widget);

private:
    void Paint();

    std::unique_ptr<Ui::WaitDialogForm> ui;
    QPushButton* cancelButton = nullptr;
    QElapsedTimer sinceRepaint;
    qint64 minRepaintIntervalMs;
    bool pendingRepaint = false;
};
