// The help button on Linux: which readme xdg-open is given, and what the technician is
// told when xdg-open cannot start or ends badly. A stand-in xdg-open on PATH ends as each
// row asks; the message names the file it was given.
#include "helplauncher.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class HelpLauncherTest : public QObject
{
    Q_OBJECT

private slots:
    // Where readmes lie under a fresh folder "@", the program being in usr/bin and its
    // installed files in usr/share/crtest, the current folder "here": the first listed is the
    // one to open, as "Readme.Txt" if it is in the current folder or there is none. Then how
    // the stand-in xdg-open ends (nothing: none on PATH) and what the technician is told.
    void startsTheEditor_data()
    {
        QTest::addColumn<QStringList>("readmes");
        QTest::addColumn<QByteArray>("editorEnds");
        QTest::addColumn<QString>("told");
        const auto row = [](const char *name, QStringList readmes, const char *ends,
                            const char *told) {
            QTest::newRow(name) << readmes << QByteArray(ends) << QString(told);
        };
        const QStringList here{"here/Readme.Txt"};
        row("readme in the current folder first", {"here/Readme.Txt", "usr/bin/Readme.Txt"},
            "exit 1", "\"xdg-open Readme.Txt\" ended with status 1: it did not understand its "
            "command line.");
        row("then beside the program", {"usr/bin/Readme.Txt", "usr/share/crtest/Readme.Txt"},
            "exit 1", "\"xdg-open @/usr/bin/Readme.Txt\" ended with status 1: it did not "
            "understand its command line.");
        row("then installed with it", {"usr/share/crtest/Readme.Txt"}, "exit 1",
            "\"xdg-open @/usr/share/crtest/Readme.Txt\" ended with status 1: it did not "
            "understand its command line.");
        row("the editor starts", here, "exit 0", "");
        row("no readme anywhere", {}, "echo \"xdg-open: file '$1' does not exist\" >&2; exit 2",
            "\"xdg-open Readme.Txt\" ended with status 2: the file does not exist.\n"
            "It said: xdg-open: file 'Readme.Txt' does not exist");
        row("no program for text files", here, "exit 3",
            "\"xdg-open Readme.Txt\" ended with status 3: no program is set up to open text "
            "files, or a program it needs is missing.");
        row("a terminal editor and no terminal", here,
            "echo 'xdg-open: no terminal emulator found' >&2; exit 4",
            "\"xdg-open Readme.Txt\" ended with status 4: the program set up to open text files "
            "could not open it.\nIt said: xdg-open: no terminal emulator found");
        row("killed", here, "kill -9 $$", "\"xdg-open Readme.Txt\" ended abnormally.");
        row("xdg-open not installed", here, "",
            "the command \"xdg-open Readme.Txt\" could not be started.");
    }
    void startsTheEditor()
    {
        QFETCH(QStringList, readmes);
        QFETCH(QByteArray, editorEnds);
        QTemporaryDir scratch;
        const auto at = [&](const QString &path) { return scratch.filePath(path); };
        const auto write = [&](const QString &path, const QByteArray &content) {
            QFile file(at(path));
            return QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly)
                    && file.write(content) == content.size();
        };
        QVERIFY(QDir().mkpath(at("here")) && QDir().mkpath(at("usr/bin")));
        for (const QString &readme : readmes)
            QVERIFY(write(readme, "help\n"));
        QVERIFY(write("bin/xdg-open", "#!/bin/sh\n" + editorEnds));
        QVERIFY(QFile::setPermissions(at("bin/xdg-open"), QFile::ReadOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", at(editorEnds.isEmpty() ? "nowhere" : "bin").toUtf8());
        QDir::setCurrent(at("here"));

        QStringList failures;
        startHelpEditor(at("usr/bin"), [&](const QString &why) { failures << why; });
        qputenv("PATH", path);
        // Nothing is told before the event loop has run: the click's handler is long over.
        QVERIFY(failures.isEmpty());
        QTRY_VERIFY(QCoreApplication::instance()->findChildren<QProcess *>().isEmpty());
        QTEST(failures.join("\n--\n").replace(scratch.path(), "@"), "told");
    }
};

QTEST_GUILESS_MAIN(HelpLauncherTest)
#include "tst_helplauncher.moc"
