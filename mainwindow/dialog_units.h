#pragma once

#include <QFontMetrics>
#include <QSize>
#include <QWidget>

// Dialog sizes are given in dialog units: a quarter of the average character width across and
// an eighth of the character height down, measured in the widget's own font.
inline QSize DialogUnitsToPixels(const QWidget& widget, int width, int height)
{
    const QFontMetrics metrics(widget.font());
    const int averageWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    return {width * averageWidth / 4, height * metrics.height() / 8};
}
