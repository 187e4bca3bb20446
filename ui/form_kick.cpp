// Kicking every ticked drawer, then showing what became of them.
#include "crtest_form.h"

#include "formservices.h"

#include <QCheckBox>
#include <QPushButton>

void CRTEST_Form::Kick_Cmd_Click()
{
    QWidget *const focusMovedTo = disableWhileBusy(Kick_Cmd);

    // The yields keep the window alive between kicks; a nested exit or close ends the
    // program there, and the kick must then leave the closed device alone.
    for (m_drawerIdx = 0; m_drawerIdx < DrawerCount; ++m_drawerIdx) {
        if (Drawer_Check[m_drawerIdx]->checkState() == Qt::Checked) {
            m_controller.kick(m_drawerIdx);
            if (!yieldToEvents())
                return;
        }
        if (!yieldToEvents())
            return;
    }
    if (!yieldToEvents())
        return;
    m_services.sleep(Controller::KickSettleTime);

    // The ticks are read afresh: a STATUS click during the kick may have changed them.
    for (m_drawerIdx = 0; m_drawerIdx < DrawerCount; ++m_drawerIdx) {
        if (Drawer_Check[m_drawerIdx]->checkState() == Qt::Checked) {
            ShowDrawerState(m_drawerIdx);
            if (!yieldToEvents())
                return;
        }
    }
    if (!yieldToEvents())
        return;
    ShowStatistics();
    enableAgain(Kick_Cmd, focusMovedTo);
}
