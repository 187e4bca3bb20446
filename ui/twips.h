// The window is drawn in twips and Arial; shared with the benchmarks' bare window so both
// lay out their controls by the same rule.
#pragma once

#include <QFont>
#include <QWidget>

// 15 twips make one logical pixel.
inline int twips(int value)
{
    return qRound(value / 15.0);
}

inline void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

inline QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
