#include "desktop/commandline.h"
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
#include <QTimer>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
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
        QSignalSpy shown(&first, &SingleInstance::requested);
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

    // Only a request itself is acted on, whether it comes in one piece or in several; anything
    // else another program sends is dropped and the copy keeps listening.
    void requestsFromOthers_data()
    {
        using Request = SingleInstance::Request;
        QTest::addColumn<QList<QByteArray>>("parts");
        QTest::addColumn<QList<Request>>("acted");
        QTest::newRow("request") << QList<QByteArray> {"show\n"} << QList {Request::Show};
        QTest::newRow("request in pieces")
            << QList<QByteArray> {"sh", "o", "w\n"} << QList {Request::Show};
        QTest::newRow("toggle") << QList<QByteArray> {"toggle\n"} << QList {Request::Toggle};
        QTest::newRow("log now") << QList<QByteArray> {"log-", "now\n"} << QList {Request::LogNow};
        QTest::newRow("nothing") << QList<QByteArray> {} << QList<Request> {};
        QTest::newRow("other words") << QList<QByteArray> {"hide\n", "show\n"} << QList<Request> {};
        QTest::newRow("more on the line")
            << QList<QByteArray> {"toggle now\n"} << QList<Request> {};
        QTest::newRow("request after too much")
            << QList<QByteArray> {QByteArray(100, 'x'), "show\n"} << QList<Request> {};
        QTest::newRow("request without its end") << QList<QByteArray> {"show"} << QList<Request> {};
        // An import's files, where it is acted on, are "/a b.gpx" and "/c"; its answer comes
        // after the sender went away.
        QTest::newRow("import") << QList<QByteArray> {"import\n/a b.gpx\n/c\n\n"}
                                << QList {Request::Import};
        QTest::newRow("import in pieces")
            << QList<QByteArray> {"imp", "ort\n/a b", ".gpx\n/c\n", "\n"}
            << QList {Request::Import};
        QTest::newRow("import of nothing") << QList<QByteArray> {"import\n\n"} << QList<Request> {};
        QTest::newRow("import without its end")
            << QList<QByteArray> {"import\n/a b.gpx\n/c\n"} << QList<Request> {};
        QTest::newRow("import of a relative name")
            << QList<QByteArray> {"import\nc\n\n"} << QList<Request> {};
        QTest::newRow("restore") << QList<QByteArray> {"restore\n"} << QList {Request::Restore};
    }

    void requestsFromOthers()
    {
        QFETCH(QList<QByteArray>, parts);
        QFETCH(QList<SingleInstance::Request>, acted);
        QTemporaryDir folder;
        SingleInstance first(folder.path());
        QList<SingleInstance::Request> got;
        connect(&first, &SingleInstance::requested, this, [&](auto request) { got << request; });
        connect(
            &first, &SingleInstance::commanded, this, [&](auto request, auto files, auto answer) {
                got << request;
                const QStringList sent {"/a b.gpx", "/c"};
                QCOMPARE(files, request == SingleInstance::Request::Import ? sent : QStringList());
                QTimer::singleShot(50, [answer] { answer(true, "late"); });
            });
        QVERIFY(first.claim());

        QVERIFY(sendParts(first.serverPath(), parts));
        QTest::qWait(100);
        QCOMPARE(got, acted);

        SingleInstance later(folder.path());
        QVERIFY(!later.claim(SingleInstance::Request::Toggle));
        QVERIFY(later.requestDelivered());
        QTRY_COMPARE(got.size(), acted.size() + 1);
        QCOMPARE(got.last(), SingleInstance::Request::Toggle);
    }

    // What the command line asks, read before anything starts; Qt's own options pass through.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("request"); // -1: a plain start
        QTest::addColumn<int>("status"); // -1: nothing printed, the program goes on
        QTest::addColumn<QString>("printed"); // the start of what is printed
        QTest::addColumn<QStringList>("files");
        const int toggle = int(SingleInstance::Request::Toggle), none = -1;
        const int import = int(SingleInstance::Request::Import);
        QTest::newRow("none") << QStringList {} << none << none << QString() << QStringList();
        QTest::newRow("toggle, Qt's options around it")
            << QStringList {"-platform", "xcb", "--toggle", "--style=Fusion", "-reverse"} << toggle
            << none << QString() << QStringList();
        QTest::newRow("the same twice")
            << QStringList {"--log-now", "--log-now"} << int(SingleInstance::Request::LogNow)
            << none << QString() << QStringList();
        QTest::newRow("version") << QStringList {"--toggle", "--version"} << none << 0
                                 << "Trovanel 1.2.3\n"
                                 << QStringList();
        QTest::newRow("two requests")
            << QStringList {"--toggle", "--show"} << none << 2
            << "trovanel: give one of --toggle, --log-now and --show" << QStringList();
        QTest::newRow("unknown") << QStringList {"--log_now"} << none << 2
                                 << "trovanel: unknown option '--log_now'\nTry 'trovanel --help'"
                                 << QStringList();
        QTest::newRow("a value missing")
            << QStringList {"--toggle", "-display"} << none << 2
            << "trovanel: option '-display' needs a value" << QStringList();
        QTest::newRow("a word") << QStringList {"toggle"} << none << 2
                                << "trovanel: unexpected argument 'toggle'" << QStringList();
        QTest::newRow("import, Qt's options among the files")
            << QStringList {"--import", "a trip.gpx", "-platform", "xcb", "/b.gpx"} << import
            << none << QString() << QStringList {QDir::currentPath() + "/a trip.gpx", "/b.gpx"};
        QTest::newRow("restore") << QStringList {"--restore"}
                                 << int(SingleInstance::Request::Restore) << none << QString()
                                 << QStringList();
        QTest::newRow("import of nothing")
            << QStringList {"--import", "-reverse"} << none << 2
            << "trovanel: option '--import' needs a file" << QStringList();
        QTest::newRow("import and more")
            << QStringList {"--import", "a", "--log-now"} << none << 2
            << "trovanel: give --import or --restore alone" << QStringList();
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        const CommandLine::Parsed parsed = CommandLine::parse(arguments, QStringLiteral("1.2.3"));
        QTEST(parsed.request ? int(*parsed.request) : -1, "request");
        QTEST(parsed.exitStatus.value_or(-1), "status");
        QFETCH(QString, printed);
        QVERIFY2((parsed.output + parsed.error).startsWith(printed), qPrintable(parsed.error));
        QVERIFY(parsed.output.isEmpty() || parsed.error.isEmpty());
        QTEST(parsed.files, "files");
    }

    // A command is answered once it is over, however long after it was taken; one that cannot
    // be passed on whole is refused before it is sent. With none running, one is started.
    void commands_data()
    {
        using Request = SingleInstance::Request;
        QTest::addColumn<Request>("request");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("answerAfter"); // ms; -1: never asked
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::newRow("import, slow answer")
            << Request::Import << QStringList {"/tmp/a trip.gpx", "/ü/b  c.gpx", "/x/\tz"} << true
            << 600 << true << "3 new, 0 already in the record";
        QTest::newRow("restore, started first")
            << Request::Restore << QStringList() << false << 0 << false << "The server refused.";
        QTest::newRow("line break in a name")
            << Request::Import << QStringList {"/a\nb.gpx"} << true << -1 << false
            << "a file name with a line break cannot be passed on: /a\\nb.gpx";
        QTest::newRow("more than 1 MiB")
            << Request::Import << QStringList {"/" + QString(1 << 20, u'a')} << true << -1 << false
            << "the file names come to more than 1 MiB: import fewer files at a time.";
    }
    void commands()
    {
        QFETCH(SingleInstance::Request, request);
        QFETCH(QStringList, files);
        QFETCH(bool, running);
        QFETCH(int, answerAfter);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QTemporaryDir folder;
        SingleInstance first(folder.path());
        QVERIFY(!running || first.claim());
        QList<QStringList> delivered;
        connect(&first, &SingleInstance::commanded, this, [&](auto asked, auto names, auto answer) {
            QCOMPARE(asked, request);
            delivered << names;
            QTimer::singleShot(answerAfter, [answer, ok, text] { answer(ok, text); });
        });
        int starts = 0;
        SingleInstance later(folder.path());
        later.setAnswerWait(std::chrono::milliseconds(200));
        const SingleInstance::Outcome outcome = later.command(request, files, [&] {
            QTimer::singleShot(300, [&] { QVERIFY(first.claim()); });
            ++starts;
            return qint64(::getpid());
        });
        QCOMPARE(outcome.text, text);
        QCOMPARE(outcome.ok, ok);
        QCOMPARE(delivered, answerAfter < 0 ? QList<QStringList>() : QList<QStringList> {files});
        QCOMPARE(starts, running ? 0 : 1);
    }

    // A running copy that holds the lock but does not answer (hung, still starting, or from
    // before there were answers) keeps a later copy waiting for a bounded time only, and is
    // named by its process.
    void silentRunningCopy_data()
    {
        QTest::addColumn<QString>("copy");
        QTest::newRow("refuses") << "refuses"; // bound, never listening
        QTest::newRow("never reads") << "never reads"; // its socket takes the request
        QTest::newRow("hangs up unanswered") << "hangs up";
    }
    void silentRunningCopy()
    {
        QFETCH(QString, copy);
        QTemporaryDir folder;
        SingleInstance probe(folder.path());
        QLockFile held(probe.lockPath());
        QVERIFY(held.tryLock(0));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = localAddress(probe.serverPath());
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        QVERIFY(copy == "refuses" || ::listen(fd, 1) == 0);
        std::jthread oldCopy;
        if (copy == "hangs up")
            oldCopy = std::jthread([fd] {
                const int connection = ::accept(fd, nullptr, nullptr);
                char line[16];
                [[maybe_unused]] const ssize_t got = ::read(connection, line, sizeof line);
                ::close(connection);
            });

        QElapsedTimer timer;
        timer.start();
        SingleInstance later(folder.path());
        later.setAnswerWait(std::chrono::milliseconds(copy == "hangs up" ? 20000 : 300));
        QVERIFY(!later.claim(SingleInstance::Request::Toggle));
        QVERIFY(!later.requestDelivered());
        QCOMPARE(later.runningProcess(), qint64(::getpid()));
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        oldCopy = {};
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
