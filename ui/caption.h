// A label for the window's captions. A right-aligned caption ends in a blank in places
// ("MechanicalRevision : "); the blank draws nothing but takes room, and on a label sized
// to the letters it pushes the first letter out on the left. A caption keeps its text as
// it stands and lines up its letters only.
#pragma once

#include <QLabel>

class Caption : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};
