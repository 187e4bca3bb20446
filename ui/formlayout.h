// Every control of the window: kind, container, place and size in twips, caption or text,
// font, colours, picture and tab stop, in the order the controls are created. The window
// builds itself from this table, and so does the benchmarks' bare window, which takes only
// the kinds, places, texts and fonts.
#pragma once

#include <QtGui/qrgb.h>
#include <QSize>
#include <QStringList>

#include <vector>

enum class ControlKind { PushButton, Picture, Panel, GroupBox, Timer, Caption, Label, TextBox, CheckBox };
enum class Container { Window, DrawerPanel, StatisticsPanel };
enum class Align { Left, Centre, Right };

struct ControlLayout
{
    QString name; // the object name; arrays add their index: Drawer_State_3, Label3_13
    ControlKind kind = ControlKind::Label;
    Container container = Container::Window;
    int left = 0, top = 0, width = 0, height = 0; // twips
    QString text{};
    qreal points = 0; // 0: the window's font
    bool bold = false;
    Align align = Align::Left;
    QRgb background = 0; // 0: the system's colour
    QStringList pictures{}; // files under :/pictures, largest first
    QSize pictureSize{};
    QString description{}; // accessible name; tooltip of a picture-only button
    int tabIndex = -1; // -1: no place in the tab order
};

// The window's client area, in twips, and its default font.
inline constexpr int FormWidth = 9105;
inline constexpr int FormHeight = 5760;
inline constexpr qreal FormPoints = 15.75;

const std::vector<ControlLayout> &formLayout();
// The container that a panel of the table is to the controls placed in it.
Container panelContainer(const ControlLayout &panel);
