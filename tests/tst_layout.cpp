// The window as laid out: every control at its place (the design's twips divided by 15),
// with its font, colour and text, its caption fitting; the tab order; and the look of the
// controls in the disabled frames. All of it under a dark scheme, whose texts are white.
#include "formrig.h"

#include <QApplication>

class LayoutTest : public QObject
{
    Q_OBJECT

    FormRig rig;
    CRTEST_Form *form = nullptr;
    const QPalette scheme{Qt::white, QColor(40, 40, 40)};

private slots:
    void initTestCase() { QApplication::setPalette(scheme); }
    // The window as created, before its load event has run.
    void init() { form = &rig.build(); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("background"); // invalid: the system's
        const QColor system, rose(255, 192, 192), pink(255, 192, 255), green(192, 255, 192),
                box(128, 255, 128), white(255, 255, 255);
        const auto row = [](const char *name, QRect place, qreal points, bool bold,
                            const char *text, QColor background) {
            QTest::newRow(name) << QString(name) << place << points << bold << QString(text)
                                << background;
        };
        row("Image1", {0, 8, 242, 65}, 15.75, false, "", system);
        row("Status_Cmd", {248, 8, 80, 65}, 12, true, "STATUS", QColor(255, 255, 128));
        row("Kick_Cmd", {336, 8, 80, 65}, 12, true, "", QColor(255, 255, 192));
        row("cmdHelp", {432, 8, 81, 65}, 15.75, false, "", rose);
        row("Exit_Cmd", {520, 8, 80, 65}, 15.75, true, "", rose);
        row("CRFrame", {8, 88, 593, 153}, 15.75, false, "", pink);
        row("CountFrame", {8, 240, 593, 137}, 15.75, false, "", green);
        row("Frame2", {504, 328, 9, 1}, 15.75, false, "Frame2", system);
        row("Number_Label", {32, 32, 183, 18}, 12, true, "Cash Drawer Number :", system);
        row("Status_Label", {32, 64, 185, 21}, 12, true, "Open/Close/Not Preset:", system);
        row("Kick_Label", {32, 96, 185, 17}, 12, true, "Kick This Drawer Out ?", system);
        // One column per drawer: 32 px apart, the check box 4 px right of label and box.
        row("Drawer0_Label", {236, 24, 25, 21}, 14.25, true, "#0", system);
        row("Drawer7_Label", {460, 24, 25, 21}, 14.25, true, "#7", system);
        row("Drawer_State_0", {236, 56, 21, 25}, 13.5, true, "", white);
        row("Drawer_State_5", {396, 56, 21, 25}, 13.5, true, "", white);
        row("Drawer_Check_0", {240, 88, 21, 29}, 15.75, false, "", pink);
        row("Drawer_Check_7", {464, 88, 21, 29}, 15.75, false, "", pink);
        // Two columns of caption and box, each indexed by its record's number.
        row("Label3_5", {8, 24, 165, 17}, 12, true, "SerialNumber :", system);
        row("Label3_7", {8, 56, 165, 17}, 12, true, "MechanicalRevision : ", system);
        row("Label3_6", {8, 88, 165, 17}, 12, true, "ManufactureDate :", system);
        row("Label3_10", {304, 24, 165, 17}, 12, true, "InstallationDate :", system);
        row("Label3_13", {304, 56, 165, 25}, 12, true, "DrawerGoodOpen :", system);
        row("Label3_14", {304, 88, 165, 17}, 12, true, "DrawerFailedOpen :", system);
        row("crTextSValue_5", {184, 24, 105, 30}, 12, true, "", box);
        row("crTextSValue_7", {184, 56, 105, 30}, 12, true, "", box);
        row("crTextSValue_6", {184, 88, 105, 30}, 12, true, "", box);
        row("crTextSValue_10", {472, 24, 105, 30}, 12, true, "YYYYMMDD", box);
        row("crTextSValue_13", {472, 56, 105, 30}, 12, true, "DrawerGoodOpenCount", box);
        row("crTextSValue_14", {472, 88, 105, 30}, 12, true, "DrawerFailedOpenCount", box);
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QColor, background);
        const QWidget *control = ::control(*form, name);
        QTEST(control->geometry(), "place");
        QTEST(control->font().pointSizeF(), "points");
        QTEST(control->font().bold(), "bold");
        QCOMPARE(QFontInfo(control->font()).family(), "Liberation Sans");
        const bool group = qobject_cast<const QGroupBox *>(control);
        QTEST(control->property(group ? "title" : "text").toString(), "text");
        // A check box paints no background of its own: its frame's shows through.
        const QPalette::ColorRole role = qobject_cast<const QCheckBox *>(control)
                ? QPalette::Window : control->backgroundRole();
        if (background.isValid())
            QCOMPARE(control->palette().color(role), background);
        // Wherever the window fixes a colour behind text, the text on it is black, whatever
        // the scheme says.
        for (const auto &[behind, text] : {std::pair{QPalette::Window, QPalette::WindowText},
                                           {QPalette::Base, QPalette::Text},
                                           {QPalette::Button, QPalette::ButtonText}})
            if (control->palette().color(behind) != scheme.color(behind))
                QCOMPARE(control->palette().color(QPalette::Active, text), QColor(Qt::black));
        // A caption's letters fit in its label, with the Liberation fonts the layout is
        // measured with, wherever its alignment puts them; a trailing blank draws nothing.
        if (const auto *label = qobject_cast<const QLabel *>(control))
            QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text().trimmed())
                    <= label->contentsRect().width());
    }

    // The frames are disabled only to keep the user's hands off: what the program writes
    // there must not look greyed out, and a click must not change a tick. The drawer letters
    // keep their colours: blue open, black closed, red not present.
    void disabledFramesKeepTheirLook()
    {
        rig.driver.states[0] = 0;
        form->load();
        QCOMPARE(rowLetters(*form), "OCCCNNNN");
        for (const auto &[drawer, colour] : {std::pair{0, Qt::blue}, {1, Qt::black}, {4, Qt::red}})
            QCOMPARE(control(*form, QString("Drawer_State_%1").arg(drawer))
                             ->palette().color(QPalette::Disabled, QPalette::Text),
                     QColor(colour));
        const QList<QWidget *> inside = control(*form, "CRFrame")->findChildren<QWidget *>()
                + control(*form, "CountFrame")->findChildren<QWidget *>();
        QCOMPARE(inside.size(), 39);
        for (const QWidget *w : inside) {
            const QPalette p = w->palette();
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const auto r = QPalette::ColorRole(role);
                QVERIFY2(!w->isEnabled()
                                 && p.color(QPalette::Disabled, r) == p.color(QPalette::Active, r),
                         qPrintable(QString("%1, colour role %2").arg(w->objectName()).arg(role)));
            }
        }
        auto *tick = control<QCheckBox>(*form, "Drawer_Check_0");
        QVERIFY(tick->isChecked());
        QTest::mouseClick(tick, Qt::LeftButton);
        QVERIFY(tick->isChecked());
    }

    // The window has a fixed size. Tabbing starts at exit and visits every control in the
    // design's order; each has its own accessible name, and the picture-only buttons also
    // carry a tooltip.
    void windowAndFocusChain()
    {
        QCOMPARE(form->minimumSize(), QSize(607, 384));
        QCOMPARE(form->maximumSize(), QSize(607, 384));
        QWidget *const start = form->focusWidget();
        QStringList chain{start->objectName()};
        QSet<QString> names{start->accessibleName()};
        for (QWidget *w = start->nextInFocusChain(); w != start; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus) {
                chain << w->objectName();
                names << w->accessibleName();
            }
        QCOMPARE(chain,
                 words("Exit_Cmd Status_Cmd Kick_Cmd cmdHelp crTextSValue_5 crTextSValue_6 "
                 "crTextSValue_10 crTextSValue_13 crTextSValue_14 crTextSValue_7 Drawer_State_7 "
                 "Drawer_State_6 Drawer_State_5 Drawer_State_4 Drawer_State_3 Drawer_State_2 "
                 "Drawer_State_1 Drawer_State_0 Drawer_Check_0 Drawer_Check_7 Drawer_Check_6 "
                 "Drawer_Check_5 Drawer_Check_4 Drawer_Check_3 Drawer_Check_2 Drawer_Check_1"));
        QVERIFY(!names.contains("") && names.size() == 26);
        QCOMPARE(control(*form, "Drawer_State_3")->accessibleName(), "Drawer 3 state");
        for (const char *pictureOnly : {"Kick_Cmd", "cmdHelp", "Exit_Cmd"})
            QVERIFY(!button(*form, pictureOnly)->toolTip().isEmpty());
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
