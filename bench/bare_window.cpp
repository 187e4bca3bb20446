// The yardstick for the utility's launch: a plain Qt window built from the utility's own
// layout table, taking only the kinds of control, their places, texts and fonts: no
// pictures, colours, driver, handlers or start-up work.
#include "formlayout.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <map>

namespace {

QWidget *plainControl(const ControlLayout &c, QWidget *parent)
{
    switch (c.kind) {
    case ControlKind::PushButton:
        return new QPushButton(c.text, parent);
    case ControlKind::Picture:
        return new QLabel(parent);
    case ControlKind::Panel:
        return new QFrame(parent);
    case ControlKind::GroupBox:
        return new QGroupBox(c.text, parent);
    case ControlKind::Timer:
        new QTimer(parent);
        return nullptr;
    case ControlKind::Caption:
    case ControlKind::Label:
        return new QLabel(c.text, parent);
    case ControlKind::TextBox:
        return new QLineEdit(c.text, parent);
    case ControlKind::CheckBox:
        return new QCheckBox(parent);
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.setFont(arial(FormPoints, false));
    window.setFixedSize(twips(FormWidth), twips(FormHeight));
    std::map<Container, QWidget *> containers{{Container::Window, &window}};
    for (const ControlLayout &c : formLayout()) {
        QWidget *widget = plainControl(c, containers.at(c.container));
        if (!widget)
            continue;
        if (c.points > 0)
            widget->setFont(arial(c.points, c.bold));
        place(widget, c.left, c.top, c.width, c.height);
        if (c.kind == ControlKind::Panel)
            containers[panelContainer(c)] = widget;
    }

    if (QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return application.exec();
}
