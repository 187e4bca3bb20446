#include "formlayout.h"

#include <algorithm>

namespace {

constexpr QRgb Rose = qRgb(255, 192, 192), PaleYellow = qRgb(255, 255, 192),
               Yellow = qRgb(255, 255, 128), Pink = qRgb(255, 192, 255),
               Green = qRgb(192, 255, 192), BoxGreen = qRgb(128, 255, 128),
               White = qRgb(255, 255, 255);

using K = ControlKind;
using C = Container;

std::vector<ControlLayout> makeLayout()
{
    std::vector<ControlLayout> layout{
            {.name = "cmdHelp", .kind = K::PushButton, .container = C::Window, .left = 6480,
             .top = 120, .width = 1215, .height = 975, .background = Rose,
             .pictures = {"help.png"}, .pictureSize = {64, 64},
             .description = "Open the help text", .tabIndex = 3},
            {.name = "CRFrame", .kind = K::Panel, .container = C::Window, .left = 120,
             .top = 1320, .width = 8895, .height = 2295, .background = Pink,
             .description = "Drawers", .tabIndex = 18},
            {.name = "Frame2", .kind = K::GroupBox, .container = C::Window, .left = 7560,
             .top = 4920, .width = 135, .height = 15, .text = "Frame2", .tabIndex = 17},
            {.name = "CountFrame", .kind = K::Panel, .container = C::Window, .left = 120,
             .top = 3600, .width = 8895, .height = 2055, .background = Green,
             .description = "Statistics", .tabIndex = 4},
            {.name = "Kick_Cmd", .kind = K::PushButton, .container = C::Window, .left = 5040,
             .top = 120, .width = 1200, .height = 975, .points = 12, .bold = true,
             .background = PaleYellow, .pictures = {"kick.png"}, .pictureSize = {78, 60},
             .description = "Kick the ticked drawers", .tabIndex = 2},
            {.name = "Exit_Cmd", .kind = K::PushButton, .container = C::Window, .left = 7800,
             .top = 120, .width = 1200, .height = 975, .points = 15.75, .bold = true,
             .background = Rose, .pictures = {"exit_32.png", "exit_16.png"},
             .pictureSize = {32, 32}, .description = "Close the device and exit", .tabIndex = 0},
            {.name = "Status_Cmd", .kind = K::PushButton, .container = C::Window, .left = 3720,
             .top = 120, .width = 1200, .height = 975, .text = "STATUS", .points = 12,
             .bold = true, .background = Yellow, .pictures = {"status_32.png", "status_16.png"},
             .pictureSize = {32, 32}, .description = "Read the state of every drawer",
             .tabIndex = 1},
            {.name = "Image1", .kind = K::Picture, .container = C::Window, .left = 0, .top = 120,
             .width = 3630, .height = 975, .pictures = {"logo.png"}, .pictureSize = {242, 65},
             .description = "Varnel logo"},
            {.name = "Tmr_Delay", .kind = K::Timer, .container = C::DrawerPanel},
    };
    const auto add = [&layout](ControlLayout control) { layout.push_back(std::move(control)); };

    // The drawer panel: a column per drawer; the check boxes are made 1 to 7, then 0.
    for (const int n : {1, 2, 3, 4, 5, 6, 7, 0})
        add({.name = QStringLiteral("Drawer_Check_%1").arg(n), .kind = K::CheckBox,
             .container = C::DrawerPanel, .left = 3600 + 480 * n, .top = 1320, .width = 312,
             .height = 432, .description = QStringLiteral("Kick drawer %1").arg(n),
             .tabIndex = n == 0 ? 27 : 35 - n});
    for (int n = 0; n < 8; ++n)
        add({.name = QStringLiteral("Drawer_State_%1").arg(n), .kind = K::TextBox,
             .container = C::DrawerPanel, .left = 3540 + 480 * n, .top = 840, .width = 312,
             .height = 372, .points = 13.5, .bold = true, .align = Align::Centre,
             .background = White, .description = QStringLiteral("Drawer %1 state").arg(n),
             .tabIndex = 26 - n});
    const auto drawerNumber = [](int n) {
        return ControlLayout{.name = QStringLiteral("Drawer%1_Label").arg(n), .kind = K::Label,
                             .container = C::DrawerPanel, .left = 3540 + 480 * n, .top = 360,
                             .width = 375, .height = 315, .text = QStringLiteral("#%1").arg(n),
                             .points = 14.25, .bold = true, .align = Align::Centre,
                             .tabIndex = n == 0 ? 44 : 42 - n};
    };
    const auto rowTitle = [](const char *name, int top, int width, int height, const char *text,
                             int tabIndex) {
        return ControlLayout{.name = name, .kind = K::Caption, .container = C::DrawerPanel,
                             .left = 480, .top = top, .width = width, .height = height,
                             .text = text, .points = 12, .bold = true, .tabIndex = tabIndex};
    };
    add(rowTitle("Number_Label", 480, 2745, 270, "Cash Drawer Number :", 45));
    add(drawerNumber(0));
    add(rowTitle("Status_Label", 960, 2775, 315, "Open/Close/Not Preset:", 43));
    add(rowTitle("Kick_Label", 1440, 2775, 255, "Kick This Drawer Out ?", 42));
    for (int n = 1; n < 8; ++n)
        add(drawerNumber(n));

    // The statistics panel: a box and its caption for each record shown, both indexed by
    // the record's number; the boxes and the captions are each made in an order of their own.
    struct Record
    {
        int number, left, boxLeft, top, boxTab, captionTab;
        const char *caption, *text, *description;
    };
    const Record records[] = {
            {7, 120, 2760, 840, 13, 16, "MechanicalRevision : ", "", "Mechanical revision"},
            {14, 4560, 7080, 1320, 9, 12, "DrawerFailedOpen :", "DrawerFailedOpenCount",
             "Failed openings"},
            {13, 4560, 7080, 840, 8, 11, "DrawerGoodOpen :", "DrawerGoodOpenCount",
             "Good openings"},
            {10, 4560, 7080, 360, 7, 10, "InstallationDate :", "YYYYMMDD", "Installation date"},
            {6, 120, 2760, 1320, 6, 15, "ManufactureDate :", "", "Manufacture date"},
            {5, 120, 2760, 360, 5, 14, "SerialNumber :", "", "Serial number"},
    };
    for (const Record &r : records)
        add({.name = QStringLiteral("crTextSValue_%1").arg(r.number), .kind = K::TextBox,
             .container = C::StatisticsPanel, .left = r.boxLeft, .top = r.top, .width = 1575,
             .height = 450, .text = QLatin1String(r.text), .points = 12, .bold = true,
             .background = BoxGreen, .description = QLatin1String(r.description),
             .tabIndex = r.boxTab});
    for (const int number : {7, 6, 5, 14, 13, 10}) {
        const Record &r = *std::find_if(std::begin(records), std::end(records),
                                        [number](const Record &x) { return x.number == number; });
        add({.name = QStringLiteral("Label3_%1").arg(number), .kind = K::Caption,
             .container = C::StatisticsPanel, .left = r.left, .top = r.top, .width = 2475,
             .height = number == 13 ? 375 : 255, .text = QLatin1String(r.caption), .points = 12,
             .bold = true, .align = Align::Right, .tabIndex = r.captionTab});
    }
    return layout;
}

} // namespace

const std::vector<ControlLayout> &formLayout()
{
    static const std::vector<ControlLayout> layout = makeLayout();
    return layout;
}

Container panelContainer(const ControlLayout &panel)
{
    return panel.name == QLatin1String("CRFrame") ? Container::DrawerPanel
                                                  : Container::StatisticsPanel;
}
