// Reading each drawer's state into its row of the window.
#include "crtest_form.h"

#include "formservices.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

// What a drawer's row shows: its letter in its colour, and whether it is ticked for the
// next kick (every present drawer is).
struct DrawerLook
{
    QString letter;
    QColor colour;
    bool ticked;
};

DrawerLook lookOf(DrawerReading reading)
{
    switch (reading) {
    case DrawerReading::Open:
        return {QStringLiteral("O"), QColor(0, 0, 255), true};
    case DrawerReading::NotPresent:
        return {QStringLiteral("N"), QColor(255, 0, 0), false};
    case DrawerReading::Closed:
        return {QStringLiteral("C"), QColor(0, 0, 0), true};
    case DrawerReading::NotRead:
        break;
    }
    // Nothing was read (the device is already closed): the row claims nothing.
    return {QString(), QColor(0, 0, 0), false};
}

} // namespace

void CRTEST_Form::showDrawerRow(int index, DrawerReading reading)
{
    const DrawerLook look = lookOf(reading);
    QLineEdit *state = Drawer_State[index];
    QPalette palette = state->palette();
    palette.setColor(QPalette::Text, look.colour);
    state->setPalette(palette);
    // Setting a text, even the same one, asks for a repaint.
    if (state->text() != look.letter)
        state->setText(look.letter);
    Drawer_Check[index]->setChecked(look.ticked);
}

void CRTEST_Form::ShowDrawerState(int index)
{
    showDrawerRow(index, m_controller.readDrawer(index).reading);
    // The wait blocks the thread; paint first so the row is seen before it.
    m_services.paint(Drawer_State[index]);
    m_services.sleep(Controller::StateReadInterval);
}

void CRTEST_Form::Status_Cmd_Click()
{
    QWidget *const focusMovedTo = disableWhileBusy(Status_Cmd);
    for (int drawer = 0; drawer < DrawerCount; ++drawer)
        ShowDrawerState(drawer);
    enableAgain(Status_Cmd, focusMovedTo);
}
