// The order of the statistics boxes and their message boxes, on the real window. What the
// boxes show for each block, status and overrun is part of the fault matrix, on the real
// driver binding.
#include "formrig.h"

class StatisticsTest : public QObject
{
    Q_OBJECT

private slots:
    // Each count box shows its raw characters while its message box is up, the later box
    // still empty then, and its decimal text once the message box is closed.
    void countsShowRawWhileTheirMessageIsUp()
    {
        FormRig rig;
        rig.driver.statisticsBlock = QByteArray(98, '\0') + QByteArray::fromHex("10270000FFFFFFFF");
        QList<QStringList> countBoxesAtMessages;
        rig.services.onMessage = [&](const QString &) {
            countBoxesAtMessages << boxTexts(*rig.form).mid(4);
        };
        const CRTEST_Form &form = rig.start();

        const QString raw13 = QString::fromLatin1("\x10\x27\0\0", 4);
        const QString raw14 = QString::fromLatin1("\xFF\xFF\xFF\xFF", 4);
        QCOMPARE(rig.services.messages(),
                 (QStringList{raw13 + "-->10000", raw14 + "-->4294967295"}));
        QCOMPARE(countBoxesAtMessages, (QList<QStringList>{{raw13, ""}, {"10000", raw14}}));
        QCOMPARE(boxTexts(form).mid(4), (QStringList{"10000", "4294967295"}));
    }
};

QTEST_MAIN(StatisticsTest)
#include "tst_statistics.moc"
