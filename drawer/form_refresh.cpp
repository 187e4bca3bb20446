// Reading each drawer's state into its row of the window.
#include "crtest_form.h"

#include "check.h"
#include "drawerdriver.h"
#include "formservices.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>

namespace {

using namespace std::chrono_literals;
// The controller needs this long between two state reads.
constexpr auto StateReadInterval = 100ms;

QColor fromBgr(uint32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

} // namespace

void CRTEST_Form::ShowDrawerState(int index)
{
    m_stateResult = m_driver->drawerState(index);
    const DrawerCondition condition = classifyDrawerState(m_stateResult, OpenCode[index]);
    logDrawerReading(index, m_stateResult, readingOf(condition));
    const DrawerLook look = lookOf(condition);

    QLineEdit *state = Drawer_State[index];
    QPalette palette = state->palette();
    palette.setColor(QPalette::Text, fromBgr(look.bgrColour));
    state->setPalette(palette);
    state->setText(look.letter);
    Drawer_Check[index]->setChecked(look.checkValue == 1);

    // The wait blocks the thread; paint first so the row is seen before it.
    m_services.paint(state);
    m_services.sleep(StateReadInterval);
}

void CRTEST_Form::Status_Cmd_Click()
{
    QWidget *const focusMovedTo = disableWhileBusy(Status_Cmd);
    for (int drawer = 0; drawer < DrawerCount; ++drawer)
        ShowDrawerState(drawer);
    enableAgain(Status_Cmd, focusMovedTo);
}
