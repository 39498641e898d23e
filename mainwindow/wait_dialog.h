#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <memory>

namespace Ui {
class WaitDialogForm;
}

// The modeless "please wait" box shown while the thread is blocked in a network or file step.
// It has no buttons, so the user cannot dismiss it; it receives no events while the thread is
// busy and shows a new message only through SetMessage's explicit repaint.
class WaitDialog : public QDialog {
    Q_OBJECT

public:
    explicit WaitDialog(QWidget* parent = nullptr);
    ~WaitDialog() override;

    // Set before OpenBox: the text the box first shows.
    QString message;

    // Shows the box and lets it be exposed before the caller blocks.
    void OpenBox();
    // Shows the text at once. In a fast loop the box is repainted at most about ten times a
    // second; a text that was skipped is shown by the next call that repaints or by CloseBox.
    void SetMessage(const QString& text);
    void CloseBox();

    // The text the box shows now.
    QString ShownText() const;
    // The shortest time between two repaints of SetMessage (100 ms unless changed).
    void SetMinRepaintInterval(qint64 milliseconds) { minRepaintIntervalMs = milliseconds; }

private:
    void Paint();

    std::unique_ptr<Ui::WaitDialogForm> ui;
    QElapsedTimer sinceRepaint;
    qint64 minRepaintIntervalMs;
    bool pendingRepaint = false;
};
