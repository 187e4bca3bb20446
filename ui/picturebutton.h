// A push button that shows its picture centred with the caption, if any, underneath;
// QPushButton itself only puts them side by side.
#pragma once

#include <QIcon>
#include <QPushButton>

class PictureButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // The picture as painted now, in the screen's own pixels.
    QPixmap picture() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The icon's picture of the given size in device-independent pixels, for a screen of the
// given device pixel ratio, made from the icon's sharpest source that does not need
// enlarging where there is one.
QPixmap pictureAt(const QIcon &icon, QSize size, qreal ratio, QIcon::Mode mode = QIcon::Normal);
