// The utility's one window. Its handlers are spread over the folders that own their
// behaviour: start-up and shut-down in app/, the drawer refresh and kick in drawer/, the
// statistics in stats/; this header and the layout stay in ui/.
#pragma once

#include "drawerstate.h"

#include <QMap>
#include <QWidget>

#include <array>
#include <cstdint>

class DrawerDriver;
class FormServices;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

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

    // Controls, by the names the rest of the program uses.
    QPushButton *Status_Cmd = nullptr;
    QPushButton *Kick_Cmd = nullptr;
    QPushButton *cmdHelp = nullptr;
    QPushButton *Exit_Cmd = nullptr;
    QLabel *Image1 = nullptr;
    QFrame *CRFrame = nullptr;
    QFrame *CountFrame = nullptr;
    QGroupBox *Frame2 = nullptr;
    QTimer *Tmr_Delay = nullptr;
    QLabel *Number_Label = nullptr;
    QLabel *Status_Label = nullptr;
    QLabel *Kick_Label = nullptr;
    std::array<QLabel *, DrawerCount> DrawerLabels{};
    std::array<QCheckBox *, DrawerCount> Drawer_Check{};
    std::array<QLineEdit *, DrawerCount> Drawer_State{};
    // Only the indexes of the shown statistics records exist.
    QMap<int, QLineEdit *> crTextSValue;
    QMap<int, QLabel *> Label3;

    int32_t deviceResult() const { return m_deviceResult; }
    int32_t stateResult() const { return m_stateResult; }
    int drawerIdx() const { return m_drawerIdx; }
    const OpenCodeTable &openCodes() const { return m_openCode; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectControls();

    // Handlers of the window's events.
    void Form_Load();
    void Form_Unload();
    void Exit_Cmd_Click();
    void cmdHelp_Click();
    void Status_Cmd_Click();
    void Kick_Cmd_Click();

    void ShowDrawerState(int index);
    void ShowStatistics();

    // Runs a handler so that no exception escapes into the event loop and nothing runs
    // once the program has ended.
    void runHandler(void (CRTEST_Form::*handler)());
    void failAndEnd(const QString &reason);
    // Yields to the event loop; false once a nested exit or close has ended the program,
    // after which the caller must not touch the device again.
    bool yieldToEvents();
    void closeDevice();
    void message(const QString &text);

    DrawerDriver *m_driver = nullptr;
    QString m_driverError;
    FormServices &m_services;

    int32_t m_deviceResult = 0;
    int32_t m_stateResult = 0;
    int m_drawerIdx = 0;
    OpenCodeTable m_openCode{};

    // Handlers running, and how many of them are waiting in a yield. A close request is
    // honoured only when every running handler is in a yield, the only points where the
    // program lets another handler in.
    int m_handlersRunning = 0;
    int m_yieldDepth = 0;
    bool m_closePending = false;
    bool m_ended = false;
};
