#include "desktop/singleinstance.h"

#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondCopyAsksTheFirstToShow()
    {
        QTemporaryDir folder;
        SingleInstance first(folder.path());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        QVERIFY(first.claim());

        SingleInstance second(folder.path());
        QVERIFY(!second.claim());
        QVERIFY(second.requestDelivered());
        QTRY_COMPARE(shown.count(), 1);

        // The socket is the user's alone.
        const QFile::Permissions perms = QFile::permissions(first.serverPath());
        QVERIFY(!(perms
                  & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));
    }

    // A copy that died leaves its lock and socket behind; the next start takes over.
    void staleLockIsTakenOver()
    {
        QTemporaryDir folder;
        SingleInstance probe(folder.path());
        QFile lock(probe.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        // A process number that cannot be running.
        lock.write("2147483646\ntrovanel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        QFile socket(probe.serverPath());
        QVERIFY(socket.open(QIODevice::WriteOnly));
        socket.close();

        SingleInstance next(folder.path());
        QVERIFY(next.claim());
        SingleInstance third(folder.path());
        QVERIFY(!third.claim());
        QVERIFY(third.requestDelivered());
    }

    void lockIsReleasedAtTheEnd()
    {
        QTemporaryDir folder;
        {
            SingleInstance first(folder.path());
            QVERIFY(first.claim());
        }
        SingleInstance again(folder.path());
        QVERIFY(again.claim());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
