// The utility's one window. Its handlers live beside it in files named form_*.cpp, one per
// behaviour: start-up, shut-down and help; the refresh; the kick; the statistics; the copied
// report. Every driver step they take is the controller model's; what is theirs is the pace:
// the order of waits, yields and paints, and what the window shows.
#pragma once

#include "controller.h"
#include "eventrules.h"
#include "report.h"

#include <QMap>
#include <QWidget>

#include <array>
#include <cstdint>

class FormServices;
class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;

class CRTEST_Form : public QWidget
{
    Q_OBJECT

public:
    // controller is not yet opened; it may stand for a library that could not be bound.
    CRTEST_Form(Controller &controller, FormServices &services, QWidget *parent = nullptr);
    ~CRTEST_Form() override;

    // Raised once after construction, as the window's load event.
    void load();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectControls();
    // What the window shows now, as a report; Ctrl+C puts its text on the clipboard.
    Report reportOfWhatIsShown() const;
    void showDrawerRow(int index, DrawerReading reading);

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

    Controller &m_controller;
    FormServices &m_services;

    int m_drawerIdx = 0;

    EventRules m_rules;
};
