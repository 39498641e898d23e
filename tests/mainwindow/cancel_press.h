#pragma once

// Presses "中止" the way a person would, from the window's own event loop, which runs while a
// handler waits for its server work.
#include "mainwindow/wait_dialog.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

class PressCancelWhen {
public:
    // ready sees the text of the cancellable box on screen; once it holds, the box's button is
    // clicked (or Esc pressed on the box) exactly once. beforePress runs at every look while the
    // box waits, so a test can act on the window during the work.
    explicit PressCancelWhen(std::function<bool(const QString& shown)> ready, bool useEscape = false,
                             std::function<void()> beforePress = {})
        : ready(std::move(ready)), useEscape(useEscape), beforePress(std::move(beforePress))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { Look(); });
        timer.start(1);
    }

    bool pressed = false;

private:
    void Look()
    {
        if (pressed)
            return;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<WaitDialog*>(widget);
            if (!box || !box->isVisible() || !box->CancelButton()->isVisible())
                continue;
            if (beforePress)
                beforePress();
            if (!ready(box->ShownText()))
                return;
            pressed = true;
            if (useEscape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                // Through the box's window, as the window system delivers a click: a box that
                // the window's modality blocks would not see it.
                QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {},
                                  box->CancelButton()->mapTo(box, box->CancelButton()->rect().center()));
            return;
        }
    }

    std::function<bool(const QString&)> ready;
    bool useEscape;
    std::function<void()> beforePress;
    QTimer timer;
};

// Whether a progress text shows more than nothing moved: "...name\n<bytes>/<total>...".
inline bool ShowsBytesMoved(const QString& shown)
{
    const QStringList lines = shown.split(u'\n');
    return lines.size() >= 2 && lines[1].contains(u'/') && lines[1].section(u'/', 0, 0).toLongLong() > 0;
}
