// The utility's one window. Its handlers live in files named form_*.cpp in the folders that
// own their behaviour: start-up, shut-down, help and the copied report in app/, the drawer
// refresh and kick in drawer/, the statistics in stats/; this header, the layout table and
// the wiring stay in ui/.
#pragma once

#include "drawerstate.h"
#include "eventrules.h"
#include "report.h"

#include <QMap>
#include <QWidget>

#include <array>
#include <cstdint>

class DrawerDriver;
class FormServices;
class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;

class CRTEST_Form : public QWidget
{
    Q_OBJECT

public:
    // driver is null when the library could not be bound; driverError then says why.
    CRTEST_Form(DrawerDriver *driver, const QString &driverError, FormServices &services,
                QWidget *parent = nullptr);
    ~CRTEST_Form() override;

    // Raised once after construction, as the window's load event.
    void load();

    // The driver file the loader mapped, named in the copied report.
    void setDriverFile(const QString &file) { m_driverFile = file; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectControls();
    // What the window shows now, as a report; Ctrl+C puts its text on the clipboard.
    Report reportOfWhatIsShown() const;

    // Handlers of the window's events.
    void Form_Load();
    void Form_Unload();
    void Exit_Cmd_Click();
    void cmdHelp_Click();
    void Status_Cmd_Click();
    void Kick_Cmd_Click();
    void Copy_Report();

    void ShowDrawerState(int index);
    void ShowStatistics();

    // Every handler runs through the event rules: see eventrules.h.
    void runHandler(void (CRTEST_Form::*handler)());
    void failAndEnd(const QString &reason);
    // Yields to the event loop; false once a nested exit or close has ended the program,
    // after which the caller must not touch the device again.
    bool yieldToEvents() { return m_rules.yield(); }
    void closeDevice();
    void message(const QString &text);
    // A button disables itself while its handler runs. Qt then hands the keyboard focus to
    // the next control; the returned control is where it went, so that enableAgain can
    // give the focus back if the user has not moved it since.
    QWidget *disableWhileBusy(QPushButton *button);
    void enableAgain(QPushButton *button, QWidget *focusMovedTo);

    // The controls the handlers use, by their names; the others the window only holds.
    QPushButton *Status_Cmd = nullptr;
    QPushButton *Kick_Cmd = nullptr;
    QPushButton *cmdHelp = nullptr;
    QPushButton *Exit_Cmd = nullptr;
    QFrame *CRFrame = nullptr;
    QFrame *CountFrame = nullptr;
    std::array<QCheckBox *, DrawerCount> Drawer_Check{};
    std::array<QLineEdit *, DrawerCount> Drawer_State{};
    // Only the indexes of the shown statistics records exist.
    QMap<int, QLineEdit *> crTextSValue;

    DrawerDriver *m_driver = nullptr;
    QString m_driverError;
    QString m_driverFile;
    FormServices &m_services;

    int32_t m_deviceResult = 0;
    int32_t m_stateResult = 0;
    int m_drawerIdx = 0;

    EventRules m_rules;
};
