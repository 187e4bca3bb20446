#include "caption.h"

#include <QPainter>
#include <QStyle>

void Caption::paintEvent(QPaintEvent *)
{
    QString letters = text();
    while (letters.endsWith(u' '))
        letters.chop(1);
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(),
                          letters, foregroundRole());
}
