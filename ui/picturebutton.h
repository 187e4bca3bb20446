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
