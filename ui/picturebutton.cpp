#include "picturebutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

QPixmap PictureButton::picture() const
{
    return icon().pixmap(iconSize(), devicePixelRatio(),
                         isEnabled() ? QIcon::Normal : QIcon::Disabled);
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QPixmap picture = this->picture();
    const QSize pictureSize = picture.deviceIndependentSize().toSize();
    const int captionHeight = caption.isEmpty() ? 0 : fontMetrics().height();
    const int top = (height() - pictureSize.height() - captionHeight) / 2;
    const int shift = isDown() ? 1 : 0;

    painter.drawPixmap((width() - pictureSize.width()) / 2 + shift, top + shift, picture);
    if (!caption.isEmpty()) {
        const QRect captionRect(shift, top + pictureSize.height() + shift, width(), captionHeight);
        painter.drawItemText(captionRect, Qt::AlignHCenter | Qt::AlignTop, option.palette,
                             isEnabled(), caption, QPalette::ButtonText);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
