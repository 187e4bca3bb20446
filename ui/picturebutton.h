// A push button that shows its picture centred with the caption, if any, underneath;
// QPushButton itself only puts them side by side.
#pragma once

#include <QPushButton>

class PictureButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
