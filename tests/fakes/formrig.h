// The window's rig (fakes.h) with what the tests that drive it need besides: the window's
// controls by their names, what they show, and QTest.
#pragma once

#include "fakes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// A list written as its entries with a blank between them; none of them holds a blank.
inline QStringList words(const char *entries)
{
    return QString(entries).split(' ');
}

// A control of the window, by its name in the window's design (arrays add their index:
// Drawer_State_3, crTextSValue_13).
template <typename Control = QWidget>
Control *control(const QWidget &form, const QString &name)
{
    Control *found = form.findChild<Control *>(name);
    if (!found)
        qFatal("the window has no %s", qPrintable(name));
    return found;
}
inline QPushButton *button(const QWidget &form, const char *name)
{
    return control<QPushButton>(form, QLatin1String(name));
}
// A button clicked, by its name, or the close box.
inline void press(QWidget &form, const QString &name)
{
    name == "close" ? void(form.close()) : button(form, qPrintable(name))->click();
}

// What the window shows: the six statistics boxes in record order, and each drawer's
// letter, "-" while it has none.
inline QStringList boxTexts(const QWidget &form)
{
    QStringList texts;
    for (const int record : {5, 6, 7, 10, 13, 14})
        texts << control<QLineEdit>(form, QString("crTextSValue_%1").arg(record))->text();
    return texts;
}
inline QString rowLetters(const QWidget &form)
{
    QString letters;
    for (int n = 0; n < 8; ++n)
        letters += control<QLineEdit>(form, QString("Drawer_State_%1").arg(n))
                       ->text()
                       .leftJustified(1, '-');
    return letters;
}
