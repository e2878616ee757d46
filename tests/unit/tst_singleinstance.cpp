#include "desktop/singleinstance.h"
#include "support/fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>

#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

sockaddr_un localAddress(const QString &socketPath)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socketPath);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return address;
}

// Connects to a running copy's socket the way any local program could, and sends the parts
// with a pause between them; false when the connection was refused. A part the copy no longer
// reads (it hung up on the sender) is not an error here.
bool sendParts(const QString &socketPath, const QList<QByteArray> &parts)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = localAddress(socketPath);
    const bool connected
        = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    for (const QByteArray &part : parts) {
        if (connected)
            ::send(fd, part.constData(), size_t(part.size()), MSG_NOSIGNAL);
        QTest::qWait(20);
    }
    ::close(fd);
    return connected;
}

} // namespace

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

    // Only the request itself brings the window forward, whether it comes in one piece or in
    // several; anything else another program sends is dropped and the copy keeps listening.
    void requestsFromOthers_data()
    {
        QTest::addColumn<QList<QByteArray>>("parts");
        QTest::addColumn<int>("shown");
        QTest::newRow("request") << QList<QByteArray> {"show\n"} << 1;
        QTest::newRow("request in pieces") << QList<QByteArray> {"sh", "o", "w\n"} << 1;
        QTest::newRow("nothing") << QList<QByteArray> {} << 0;
        QTest::newRow("other words") << QList<QByteArray> {"hide\n", "quit\n"} << 0;
        QTest::newRow("request after too much")
            << QList<QByteArray> {QByteArray(100, 'x'), "show\n"} << 0;
        QTest::newRow("request without its end") << QList<QByteArray> {"show"} << 0;
    }

    void requestsFromOthers()
    {
        QFETCH(QList<QByteArray>, parts);
        QFETCH(int, shown);
        QTemporaryDir folder;
        SingleInstance first(folder.path());
        QSignalSpy spy(&first, &SingleInstance::showRequested);
        QVERIFY(first.claim());

        QVERIFY(sendParts(first.serverPath(), parts));
        QTest::qWait(100);
        QCOMPARE(spy.count(), shown);

        SingleInstance later(folder.path());
        QVERIFY(!later.claim());
        QVERIFY(later.requestDelivered());
        QTRY_COMPARE(spy.count(), shown + 1);
    }

    // A running copy that holds the lock but does not answer (hung, or still starting) keeps
    // a later copy waiting for a bounded time only.
    void silentRunningCopy()
    {
        QTemporaryDir folder;
        SingleInstance probe(folder.path());
        QLockFile held(probe.lockPath());
        QVERIFY(held.tryLock(0));
        // A socket that is bound but never listened to: connecting is refused at once.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = localAddress(probe.serverPath());
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);

        QElapsedTimer timer;
        timer.start();
        SingleInstance later(folder.path());
        QVERIFY(!later.claim());
        QVERIFY(!later.requestDelivered());
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        ::close(fd);
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

    // Where the lock goes: the session's runtime folder, or else a folder of the user's own in
    // the shared temporary folder. A name planted there by someone else must neither be used
    // nor keep the program from starting.
    void lockFolder_data()
    {
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("guarded");
        QTest::newRow("runtime folder") << true << QString() << true;
        QTest::newRow("no runtime folder") << false << QString() << true;
        QTest::newRow("open folder in its place") << false << QStringLiteral("open") << true;
        QTest::newRow("link in its place") << false << QStringLiteral("link") << false;
        QTest::newRow("file in its place") << false << QStringLiteral("file") << false;
    }

    void lockFolder()
    {
        QFETCH(bool, runtime);
        QFETCH(QString, planted);
        QFETCH(bool, guarded);
        QTemporaryDir root;
        const QString runtimeDir = root.filePath(QStringLiteral("run"));
        const QString tmp = root.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(runtimeDir) && QDir().mkpath(tmp));
        EnvOverride env;
        if (runtime)
            env.set("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir));
        else
            env.unset("XDG_RUNTIME_DIR");
        env.set("TMPDIR", QFile::encodeName(tmp));
        const QString own = tmp + QStringLiteral("/trovanel-instance-") + QString::number(getuid());
        const QString elsewhere = root.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        if (planted == QLatin1String("open")) {
            QVERIFY(QDir().mkpath(own));
            QVERIFY(QFile::setPermissions(own, QFile::Permissions(0x7777)));
        } else if (planted == QLatin1String("link")) {
            QVERIFY(QFile::link(elsewhere, own));
        } else if (planted == QLatin1String("file")) {
            QFile file(own);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        const QString folder = SingleInstance::defaultFolder();
        if (runtime)
            QCOMPARE(folder, runtimeDir);
        else if (guarded)
            QCOMPARE(folder, own);
        else
            QVERIFY2(folder.isEmpty(), qPrintable(folder));
        if (!folder.isEmpty() && !runtime)
            QCOMPARE(QFile::permissions(folder) & 0x0077, QFile::Permissions());

        SingleInstance first;
        QVERIFY(first.claim());
        SingleInstance second;
        QCOMPARE(second.claim(), !guarded);
        // Nothing of the program's went through the planted link.
        QVERIFY(QDir(elsewhere).isEmpty());
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
