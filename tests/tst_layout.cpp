// Where the window's layout is likely to slip: the column arithmetic of the drawer rows,
// the indexes of the control arrays, the colours, the tab order and the look of the
// controls in the disabled frames.
#include "formrig.h"

class LayoutTest : public QObject
{
    Q_OBJECT

    FormRig rig;
    CRTEST_Form *form = nullptr;

private slots:
    void init() { form = &rig.start(); }

    void windowAndColours()
    {
        QCOMPARE(form->minimumSize(), QSize(607, 384));
        QCOMPARE(form->maximumSize(), QSize(607, 384));
        QCOMPARE(form->CRFrame->palette().color(QPalette::Window), QColor(255, 192, 255));
        QCOMPARE(form->Drawer_Check[3]->palette().color(QPalette::Window), QColor(255, 192, 255));
        QCOMPARE(form->CountFrame->palette().color(QPalette::Window), QColor(192, 255, 192));
        QCOMPARE(form->Status_Cmd->palette().color(QPalette::Button), QColor(255, 255, 128));
        QCOMPARE(form->Kick_Cmd->palette().color(QPalette::Button), QColor(255, 255, 192));
        QCOMPARE(form->cmdHelp->palette().color(QPalette::Button), QColor(255, 192, 192));
        QCOMPARE(form->Exit_Cmd->palette().color(QPalette::Button), QColor(255, 192, 192));
        QCOMPARE(form->Drawer_State[0]->palette().color(QPalette::Base), QColor(255, 255, 255));
        QCOMPARE(form->crTextSValue[10]->palette().color(QPalette::Base), QColor(128, 255, 128));
    }

    void drawerColumns_data()
    {
        QTest::addColumn<int>("n");
        for (int n = 0; n < 8; ++n)
            QTest::addRow("drawer %d", n) << n;
    }
    void drawerColumns()
    {
        QFETCH(int, n);
        // Label and state box start at 236 + 32n, the check box 4 pixels further right.
        QCOMPARE(form->DrawerLabels[n]->geometry(), QRect(236 + 32 * n, 24, 25, 21));
        QCOMPARE(form->DrawerLabels[n]->text(), QString("#%1").arg(n));
        QCOMPARE(form->Drawer_State[n]->geometry(), QRect(236 + 32 * n, 56, 21, 25));
        QCOMPARE(form->Drawer_Check[n]->geometry(), QRect(240 + 32 * n, 88, 21, 29));
    }

    // Two columns of caption and box, indexed by record number; each caption stands
    // right-aligned just left of its own box, on its row.
    void statisticsRecords_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QPoint>("box");
        const auto row = [](const char *name, int record, const char *caption, QPoint box) {
            QTest::newRow(name) << record << QString(caption) << box;
        };
        row("serial number", 5, "SerialNumber :", {184, 24});
        row("mechanical revision", 7, "MechanicalRevision : ", {184, 56});
        row("manufacture date", 6, "ManufactureDate :", {184, 88});
        row("installation date", 10, "InstallationDate :", {472, 24});
        row("good openings", 13, "DrawerGoodOpen :", {472, 56});
        row("failed openings", 14, "DrawerFailedOpen :", {472, 88});
    }
    void statisticsRecords()
    {
        QFETCH(int, record);
        QFETCH(QPoint, box);
        QCOMPARE(form->crTextSValue.keys(), (QList<int>{5, 6, 7, 10, 13, 14}));
        QCOMPARE(form->Label3.keys(), form->crTextSValue.keys());
        QCOMPARE(form->crTextSValue[record]->geometry(), QRect(box, QSize(105, 30)));
        QTEST(form->Label3[record]->text(), "caption");
        const QRect caption = form->Label3[record]->geometry();
        QVERIFY(caption.top() == box.y() && caption.right() < box.x() && caption.width() == 165);
        QVERIFY(form->Label3[record]->alignment() & Qt::AlignRight);
    }

    // Every caption's letters lie inside its label, with the Liberation fonts the layout is
    // measured with. A trailing blank draws nothing and takes no part.
    void captionsFit()
    {
        QCOMPARE(QFontInfo(form->Number_Label->font()).family(), "Liberation Sans");
        int checked = 0;
        for (const QLabel *label : form->findChildren<QLabel *>()) {
            const QString text = label->text();
            if (text.isEmpty())
                continue;
            const QFontMetrics metrics(label->font());
            const QRect room = label->contentsRect();
            const int advance = metrics.horizontalAdvance(text.trimmed());
            int left = room.left();
            if (label->alignment() & Qt::AlignRight)
                left = room.right() + 1 - advance;
            else if (label->alignment() & Qt::AlignHCenter)
                left = room.left() + (room.width() - advance) / 2;
            const int inkRight = left + advance;
            QVERIFY2(left >= 0 && inkRight <= label->width(),
                     qPrintable(QString("\"%1\" spans %2 to %3 of %4 px")
                                        .arg(text).arg(left).arg(inkRight).arg(label->width())));
            ++checked;
        }
        QCOMPARE(checked, 3 + 8 + 6);
    }

    // The frames are disabled only to keep the user's hands off: what the program writes
    // there must not look greyed out, and a click must not change a tick.
    void disabledFramesKeepTheirLook()
    {
        const QList<QWidget *> inside = form->CRFrame->findChildren<QWidget *>()
                + form->CountFrame->findChildren<QWidget *>();
        QCOMPARE(inside.size(), 8 * 3 + 3 + 6 * 2);
        for (const QWidget *w : inside) {
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
            for (int role = 0; role < QPalette::NColorRoles; ++role) {
                const QPalette p = w->palette();
                const auto r = QPalette::ColorRole(role);
                QVERIFY2(p.color(QPalette::Disabled, r) == p.color(QPalette::Active, r),
                         qPrintable(QString("%1, colour role %2").arg(w->objectName()).arg(role)));
            }
        }
        QVERIFY(form->Drawer_Check[0]->isChecked());
        QTest::mouseClick(form->Drawer_Check[0], Qt::LeftButton);
        QVERIFY(form->Drawer_Check[0]->isChecked());
    }

    // Tabbing starts at exit and visits every control in this order; each has its own
    // accessible name, and the picture-only buttons also carry a tooltip.
    void focusChain()
    {
        const auto &box = form->crTextSValue;
        QList<QWidget *> expected{form->Exit_Cmd, form->Status_Cmd, form->Kick_Cmd, form->cmdHelp,
                                  box[5], box[6], box[10], box[13], box[14], box[7]};
        for (int n = 7; n >= 0; --n)
            expected << form->Drawer_State[n];
        for (int n : {0, 7, 6, 5, 4, 3, 2, 1})
            expected << form->Drawer_Check[n];
        QWidget *const start = form->focusWidget();
        QList<QWidget *> chain{start};
        for (QWidget *w = start->nextInFocusChain(); w != start; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus)
                chain << w;
        QCOMPARE(chain, expected);
        QSet<QString> names;
        for (const QWidget *w : chain)
            names << w->accessibleName();
        QVERIFY(!names.contains("") && names.size() == chain.size());
        QCOMPARE(form->Drawer_State[3]->accessibleName(), "Drawer 3 state");
        for (const QPushButton *pictureOnly : {form->Kick_Cmd, form->cmdHelp, form->Exit_Cmd})
            QVERIFY(pictureOnly->text().isEmpty() && !pictureOnly->toolTip().isEmpty());
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
