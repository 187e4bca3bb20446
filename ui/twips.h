// The window is drawn in twips and Arial; shared with the benchmarks' bare window so both
// lay out their controls by the same rule.
#pragma once

#include <QFont>
#include <QWidget>

// 15 twips make one logical pixel.
inline void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0),
                        qRound(height / 15.0));
}

inline QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}
