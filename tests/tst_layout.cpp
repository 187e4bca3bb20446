// Where the window's layout is likely to slip: the column arithmetic of the drawer rows,
// the indexes of the control arrays, the colours, the tab order and the look of the
// controls in the disabled frames.
#include "formrig.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTest>

class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void window();
    void drawerColumns_data();
    void drawerColumns();
    void statisticsArrays();
    void colours();
    void disabledFramesKeepTheirLook();
    void tabOrder();
    void everyControlIsNamed();

private:
    FormRig m_rig;
    CRTEST_Form *form = nullptr;
};

void LayoutTest::init()
{
    m_rig.driver.statisticsBlock = QByteArray(106, '\0');
    form = &m_rig.start();
}

void LayoutTest::window()
{
    QCOMPARE(form->windowTitle(), "Varnel Quorvin Functional Utility V2.0");
    QCOMPARE(form->size(), QSize(607, 384));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->CRFrame->geometry(), QRect(8, 88, 593, 153));
    QCOMPARE(form->CountFrame->geometry(), QRect(8, 240, 593, 137));
    QCOMPARE(form->Status_Cmd->geometry(), QRect(248, 8, 80, 65));
    QCOMPARE(form->Exit_Cmd->geometry(), QRect(520, 8, 80, 65));
    QCOMPARE(form->Image1->pixmap().size(), QSize(242, 65));
    QCOMPARE(form->Kick_Cmd->iconSize(), QSize(78, 60));
    QVERIFY(!form->Tmr_Delay->isActive());
}

void LayoutTest::drawerColumns_data()
{
    QTest::addColumn<int>("drawer");
    for (int n = 0; n < 8; ++n)
        QTest::addRow("drawer %d", n) << n;
}

void LayoutTest::drawerColumns()
{
    QFETCH(int, drawer);
    // Label and state box start at 236 + 32n, the check box 4 pixels further right.
    const int left = 236 + 32 * drawer;
    QCOMPARE(form->DrawerLabels[drawer]->geometry(), QRect(left, 24, 25, 21));
    QCOMPARE(form->DrawerLabels[drawer]->text(), QStringLiteral("#%1").arg(drawer));
    QCOMPARE(form->Drawer_State[drawer]->geometry(), QRect(left, 56, 21, 25));
    QCOMPARE(form->Drawer_Check[drawer]->geometry(), QRect(left + 4, 88, 21, 29));
    QCOMPARE(form->Drawer_State[drawer]->parentWidget(), form->CRFrame);
    QCOMPARE(form->Drawer_Check[drawer]->parentWidget(), form->CRFrame);
    QVERIFY(form->Drawer_Check[drawer]->text().isEmpty());
}

void LayoutTest::statisticsArrays()
{
    const QList<int> indexes{5, 6, 7, 10, 13, 14};
    QCOMPARE(form->crTextSValue.keys(), indexes);
    QCOMPARE(form->Label3.keys(), indexes);
    const QMap<int, QString> captions{{5, "SerialNumber :"},      {6, "ManufactureDate :"},
                                      {7, "MechanicalRevision : "}, {10, "InstallationDate :"},
                                      {13, "DrawerGoodOpen :"},    {14, "DrawerFailedOpen :"}};
    const QMap<int, QPoint> boxes{{5, {184, 24}},  {7, {184, 56}},  {6, {184, 88}},
                                  {10, {472, 24}}, {13, {472, 56}}, {14, {472, 88}}};
    for (int i : indexes) {
        QLabel *label = form->Label3[i];
        QLineEdit *box = form->crTextSValue[i];
        QCOMPARE(label->text(), captions[i]);
        QCOMPARE(box->pos(), boxes[i]);
        QCOMPARE(box->size(), QSize(105, 30));
        QCOMPARE(box->parentWidget(), form->CountFrame);
        // Each caption stands just left of its own box, on its row.
        QCOMPARE(label->y(), box->y());
        const int gap = box->x() - label->geometry().right() - 1;
        QVERIFY(gap >= 0 && gap <= 11);
        QVERIFY(label->alignment() & Qt::AlignRight);
    }
    QCOMPARE(form->Label3[13]->height(), 25);
    QCOMPARE(form->Label3[14]->height(), 17);
}

void LayoutTest::colours()
{
    const auto window = [](QWidget *w) { return w->palette().color(QPalette::Window); };
    const auto button = [](QWidget *w) { return w->palette().color(QPalette::Button); };
    const auto base = [](QWidget *w) { return w->palette().color(QPalette::Base); };
    QCOMPARE(window(form->CRFrame), QColor(255, 192, 255));
    QCOMPARE(window(form->CountFrame), QColor(192, 255, 192));
    QCOMPARE(window(form->Drawer_Check[3]), QColor(255, 192, 255));
    QCOMPARE(button(form->Status_Cmd), QColor(255, 255, 128));
    QCOMPARE(button(form->Kick_Cmd), QColor(255, 255, 192));
    QCOMPARE(button(form->cmdHelp), QColor(255, 192, 192));
    QCOMPARE(button(form->Exit_Cmd), QColor(255, 192, 192));
    QCOMPARE(base(form->Drawer_State[0]), QColor(255, 255, 255));
    QCOMPARE(base(form->crTextSValue[10]), QColor(128, 255, 128));
}

void LayoutTest::disabledFramesKeepTheirLook()
{
    QVERIFY(!form->CRFrame->isEnabled());
    QVERIFY(!form->CountFrame->isEnabled());
    QList<QWidget *> inside;
    for (QWidget *frame : {form->CRFrame, form->CountFrame})
        inside += frame->findChildren<QWidget *>();
    QCOMPARE(inside.size(), 8 * 3 + 3 + 6 * 2);
    for (QWidget *widget : inside) {
        QVERIFY(!widget->isEnabled());
        const QPalette palette = widget->palette();
        for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text,
                          QPalette::Button, QPalette::ButtonText, QPalette::Light, QPalette::Dark})
            QVERIFY2(palette.color(QPalette::Disabled, role) == palette.color(QPalette::Active, role),
                     qPrintable(widget->objectName()));
    }
    // Nor can the user change a tick.
    QVERIFY(form->Drawer_Check[0]->isChecked());
    QTest::mouseClick(form->Drawer_Check[0], Qt::LeftButton);
    QVERIFY(form->Drawer_Check[0]->isChecked());
}

void LayoutTest::tabOrder()
{
    QCOMPARE(form->focusWidget(), form->Exit_Cmd);
    const QList<QWidget *> expected{form->Exit_Cmd, form->Status_Cmd, form->Kick_Cmd,
                                    form->cmdHelp, form->crTextSValue[5], form->crTextSValue[6],
                                    form->crTextSValue[10], form->crTextSValue[13],
                                    form->crTextSValue[14], form->crTextSValue[7],
                                    form->Drawer_State[7], form->Drawer_State[0],
                                    form->Drawer_Check[0], form->Drawer_Check[7],
                                    form->Drawer_Check[1]};
    QList<QWidget *> chain;
    QWidget *w = form->Exit_Cmd;
    do {
        if (expected.contains(w))
            chain.append(w);
        w = w->nextInFocusChain();
    } while (w != form->Exit_Cmd);
    QCOMPARE(chain, expected);
}

void LayoutTest::everyControlIsNamed()
{
    QSet<QString> names;
    QList<QWidget *> controls{form->Status_Cmd, form->Kick_Cmd, form->cmdHelp, form->Exit_Cmd};
    for (int n = 0; n < 8; ++n)
        controls << form->Drawer_State[n] << form->Drawer_Check[n];
    for (QLineEdit *box : std::as_const(form->crTextSValue))
        controls << box;
    for (QWidget *control : controls) {
        QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        names.insert(control->accessibleName());
    }
    QCOMPARE(names.size(), controls.size());
    QCOMPARE(form->Drawer_State[3]->accessibleName(), "Drawer 3 state");
    QCOMPARE(form->Kick_Cmd->accessibleName(), "Kick the ticked drawers");
    for (QPushButton *pictureOnly : {form->Kick_Cmd, form->cmdHelp, form->Exit_Cmd})
        QVERIFY(pictureOnly->text().isEmpty() && !pictureOnly->toolTip().isEmpty());
}

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
