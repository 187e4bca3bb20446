// The help button on Linux: which readme xdg-open is given, and what the technician is
// told when xdg-open cannot start or ends badly. A stand-in xdg-open on PATH writes down
// its arguments and ends as each row asks.
#include "helplauncher.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class HelpLauncherTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QString folder(const QString &name) { return scratch.filePath(name); }

    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        for (const char *name : {"here", "usr/bin", "nowhere", "bin", "empty"})
            QVERIFY(QDir().mkpath(folder(name)));
    }

    void startsTheEditor_data()
    {
        QTest::addColumn<QString>("readmeAt"); // relative to the scratch folder, or empty
        QTest::addColumn<QByteArray>("editorEnds"); // how the stand-in ends; empty: none on PATH
        QTest::addColumn<QString>("argument"); // relative to the scratch folder if a path
        QTest::addColumn<QString>("told");

        const QByteArray fine = "exit 0";
        QTest::newRow("readme in the current folder")
                << "here/Readme.Txt" << fine << "Readme.Txt" << "";
        QTest::newRow("readme beside the program")
                << "usr/bin/Readme.Txt" << fine << "usr/bin/Readme.Txt" << "";
        QTest::newRow("readme installed with the program")
                << "usr/share/crtest/Readme.Txt" << fine << "usr/share/crtest/Readme.Txt" << "";
        QTest::newRow("no readme anywhere")
                << "" << QByteArray("echo \"xdg-open: file '$1' does not exist\" >&2; exit 2")
                << "Readme.Txt"
                << "\"xdg-open Readme.Txt\" ended with status 2: the file does not exist.\n"
                   "It said: xdg-open: file 'Readme.Txt' does not exist";
        QTest::newRow("no program for text files")
                << "here/Readme.Txt" << QByteArray("exit 3") << "Readme.Txt"
                << "\"xdg-open Readme.Txt\" ended with status 3: no program is set up to open "
                   "text files, or a program it needs is missing.";
        QTest::newRow("a terminal editor and no terminal")
                << "here/Readme.Txt"
                << QByteArray("echo 'xdg-open: no terminal emulator found' >&2; exit 4")
                << "Readme.Txt"
                << "\"xdg-open Readme.Txt\" ended with status 4: the program set up to open "
                   "text files could not open it.\nIt said: xdg-open: no terminal emulator found";
        QTest::newRow("killed") << "here/Readme.Txt" << QByteArray("kill -9 $$") << "Readme.Txt"
                                << "\"xdg-open Readme.Txt\" ended abnormally.";
        QTest::newRow("xdg-open not installed")
                << "here/Readme.Txt" << QByteArray() << ""
                << "the command \"xdg-open Readme.Txt\" could not be started.";
    }
    void startsTheEditor()
    {
        QFETCH(QString, readmeAt);
        QFETCH(QByteArray, editorEnds);
        QFETCH(QString, argument);
        QFETCH(QString, told);

        // The program lives in usr/bin, its installed files in usr/share/crtest.
        for (const char *stale : {"here/Readme.Txt", "usr/bin/Readme.Txt",
                                  "usr/share/crtest/Readme.Txt", "arguments"})
            QFile::remove(folder(QString::fromLatin1(stale)));
        if (!readmeAt.isEmpty())
            write(folder(readmeAt), "help\n");
        const bool present = !editorEnds.isEmpty();
        if (present) {
            write(folder("bin/xdg-open"),
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + folder("arguments").toUtf8() + "\"\n"
                          + editorEnds + "\n");
            QFile::setPermissions(folder("bin/xdg-open"), QFile::ReadOwner | QFile::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", folder(present ? "bin" : "empty").toUtf8());
        QDir::setCurrent(folder(readmeAt.startsWith("here/") ? "here" : "nowhere"));

        QStringList failures;
        startHelpEditor(folder("usr/bin"), [&](const QString &why) { failures << why; });
        qputenv("PATH", path);
        // Nothing is told before the event loop has run: the click's handler is long over.
        QVERIFY(failures.isEmpty());
        QTRY_VERIFY(QCoreApplication::instance()->findChildren<QProcess *>().isEmpty());
        QCOMPARE(failures, told.isEmpty() ? QStringList() : QStringList{told});
        if (present) {
            QFile arguments(folder("arguments"));
            QVERIFY(arguments.open(QIODevice::ReadOnly));
            const QString expected = argument.contains('/') ? folder(argument) : argument;
            QCOMPARE(QString::fromUtf8(arguments.readAll()), expected + '\n');
        }
    }
};

QTEST_GUILESS_MAIN(HelpLauncherTest)
#include "tst_helplauncher.moc"
