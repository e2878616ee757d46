#include "core/failure.h"
#include "desktop/mstartup.h"
#include "support/datatable.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

class TestStartUp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void execValue_data()
    {
        const DataTable<QString, QString> table({"path", "expected"});
        table.row("plain", "/usr/bin/trovanel", "\"/usr/bin/trovanel\"");
        table.row("spaces", "/opt/My Apps/trovanel", "\"/opt/My Apps/trovanel\"");
        table.row("dollar and backquote", "/opt/$x`y`/trovanel",
                  "\"/opt/\\\\$x\\\\`y\\\\`/trovanel\"");
        table.row("double quote", "/opt/a\"b/trovanel", "\"/opt/a\\\\\"b/trovanel\"");
        table.row("backslash", "/opt/a\\b/trovanel", "\"/opt/a\\\\\\\\b/trovanel\"");
        table.row("percent", "/opt/100%/trovanel", "\"/opt/100%%/trovanel\"");
    }

    void execValue()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(mStartUp::ExecValue(path), expected);
    }

    void entryIsWrittenAndRemoved()
    {
        TestEnv env;
        const QString program = env.root() + QStringLiteral("/My Apps/trovanel");
        const QString entry = env.configHome() + QStringLiteral("/autostart/trovanel.desktop");
        QCOMPARE(mStartUp::EntryPath(program), entry);

        mStartUp::AddToStartup(program);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        file.close();
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        for (const QString &line :
             {QStringLiteral("Type=Application"), QStringLiteral("Name=Trovanel"),
              QStringLiteral("Exec=\"") + program + QLatin1Char('"'),
              QStringLiteral("X-GNOME-Autostart-enabled=true")})
            QVERIFY2(text.split(QLatin1Char('\n')).contains(line), qPrintable(line));

        // The desktop's own checker accepts it.
        const QString validator
            = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validator.isEmpty()) {
            QProcess check;
            check.start(validator, {entry});
            QVERIFY(check.waitForFinished(10000));
            QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
        }

        mStartUp::RemoveFromStartup(program);
        QVERIFY(!QFile::exists(entry));
        // Removing an entry that is not there is no failure.
        mStartUp::RemoveFromStartup(program);
    }

    // A file where the autostart folder belongs stops the entry even for the superuser.
    void unwritableFolderFails()
    {
        TestEnv env;
        QFile blocker(env.configHome() + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY_THROWS_EXCEPTION(Failure, mStartUp::AddToStartup(QStringLiteral("/usr/bin/x")));
    }

    void entryThatCannotBeRemovedFails()
    {
        TestEnv env;
        // A folder in the entry's place cannot be removed as a file.
        QVERIFY(QDir().mkpath(env.configHome() + QStringLiteral("/autostart/x.desktop/inner")));
        QVERIFY_THROWS_EXCEPTION(Failure,
                                 mStartUp::RemoveFromStartup(QStringLiteral("/usr/bin/x")));
    }

    void appImageIsThePathToStart()
    {
        qputenv("APPIMAGE", "/home/u/Apps/Trovanel.AppImage");
        QCOMPARE(mStartUp::ProgramPath(), QStringLiteral("/home/u/Apps/Trovanel.AppImage"));
        qunsetenv("APPIMAGE");
        QCOMPARE(mStartUp::ProgramPath(), QCoreApplication::applicationFilePath());
    }
};

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_mstartup.moc"
