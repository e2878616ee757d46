#include "core/failure.h"
#include "core/filehelpers.h"
#include "core/workingfolder.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "support/fixtures.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return mode_t(-1);
    return st.st_mode & 07777;
}

QString uidText()
{
    return QString::number(::getuid());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

} // namespace

class TestWorkingFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void location_data();
    void location();
    void createdPrivateUnderRuntimeDir();
    void fallsBackToTmpDir();
    void refusesPlantedSymlink_data();
    void refusesPlantedSymlink();
    void refusesRegularFile();
    void refusesAnotherOwner();
    void tightensOpenMode_data();
    void tightensOpenMode();
    void removeIfEmptyKeepsContents();

    void fileExists_data();
    void fileExists();
    void readWholeFileUtf8();
    void readWholeFileFailures_data();
    void readWholeFileFailures();
    void deleteFileQuietly_data();
    void deleteFileQuietly();

private:
    std::unique_ptr<TestEnv> m_env;
};

void TestWorkingFolder::init()
{
    m_env = std::make_unique<TestEnv>();
}

void TestWorkingFolder::cleanup()
{
    m_env.reset();
}

void TestWorkingFolder::location_data()
{
    QTest::addColumn<QString>("runtime"); // "env", "unset", "missing" or "relative"
    QTest::addColumn<bool>("tmpdirInEnv");
    QTest::addColumn<QString>("expected"); // "runtime", "tmpdir" or "system tmp"

    QTest::newRow("runtime dir set") << "env" << true << "runtime";
    QTest::newRow("runtime dir unset") << "unset" << true << "tmpdir";
    QTest::newRow("runtime dir missing") << "missing" << true << "tmpdir";
    QTest::newRow("runtime dir relative") << "relative" << true << "tmpdir";
    QTest::newRow("neither set") << "unset" << false << "system tmp";
}

void TestWorkingFolder::location()
{
    QFETCH(QString, runtime);
    QFETCH(bool, tmpdirInEnv);
    QFETCH(QString, expected);

    const QString tmp = m_env->root() + QStringLiteral("/tmp");
    QVERIFY(QDir().mkpath(tmp));

    std::optional<QByteArray> runtimeValue;
    if (runtime == QLatin1String("env"))
        runtimeValue = QFile::encodeName(m_env->runtimeDir());
    else if (runtime == QLatin1String("missing"))
        runtimeValue = QFile::encodeName(m_env->root() + QStringLiteral("/no-such-dir"));
    else if (runtime == QLatin1String("relative"))
        runtimeValue = QByteArray("runtime");
    EnvOverride runtimeOverride("XDG_RUNTIME_DIR", runtimeValue);
    EnvOverride tmpOverride("TMPDIR",
                            tmpdirInEnv ? std::optional(QFile::encodeName(tmp)) : std::nullopt);

    QString expectedPath;
    if (expected == QLatin1String("runtime"))
        expectedPath = m_env->runtimeDir() + QStringLiteral("/trovanel");
    else if (expected == QLatin1String("tmpdir"))
        expectedPath = tmp + QStringLiteral("/trovanel-") + uidText();
    else
        expectedPath = QStringLiteral("/tmp/trovanel-") + uidText();
    QCOMPARE(WorkingFolder::location(), expectedPath);
}

void TestWorkingFolder::createdPrivateUnderRuntimeDir()
{
    const QString expected = m_env->runtimeDir() + QStringLiteral("/trovanel");
    QVERIFY(!QFileInfo::exists(expected));

    QCOMPARE(WorkingFolder::prepare(), expected);
    QVERIFY(QFileInfo(expected).isDir());
    QCOMPARE(modeOf(expected), mode_t(0700));

    // A second start finds the folder ready and leaves it as it is.
    QCOMPARE(WorkingFolder::prepare(), expected);
    QCOMPARE(modeOf(expected), mode_t(0700));

    WorkingFolder::removeIfEmpty(expected);
    QVERIFY(!QFileInfo::exists(expected));
}

void TestWorkingFolder::fallsBackToTmpDir()
{
    const QString tmp = m_env->root() + QStringLiteral("/tmp");
    QVERIFY(QDir().mkpath(tmp));
    EnvOverride runtimeOverride("XDG_RUNTIME_DIR", std::nullopt);
    EnvOverride tmpOverride("TMPDIR", QFile::encodeName(tmp));

    const QString expected = tmp + QStringLiteral("/trovanel-") + uidText();
    QCOMPARE(WorkingFolder::prepare(), expected);
    QVERIFY(QFileInfo(expected).isDir());
    QCOMPARE(modeOf(expected), mode_t(0700));
    QVERIFY(!QFileInfo::exists(m_env->runtimeDir() + QStringLiteral("/trovanel")));
}

void TestWorkingFolder::refusesPlantedSymlink_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to a folder") << true;
    QTest::newRow("dangling link") << false;
}

void TestWorkingFolder::refusesPlantedSymlink()
{
    QFETCH(bool, targetExists);

    const QString path = m_env->runtimeDir() + QStringLiteral("/trovanel");
    const QString target = m_env->root() + QStringLiteral("/elsewhere");
    if (targetExists)
        QVERIFY(QDir().mkpath(target));
    QVERIFY(QFile::link(target, path));

    try {
        WorkingFolder::prepare();
        QFAIL("a planted link was accepted as the working folder");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(QLatin1String("symbolic link")),
                 qPrintable(failure.description()));
        QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
    }

    // The whole set-up refuses it too, and neither it nor a later log writes through the link.
    ResultsList results;
    CurlFunctions functions(&results);
    QVERIFY_THROWS_EXCEPTION(Failure, functions.ExtractWorkingFiles());
    QVERIFY(functions.MessagePath().isEmpty());
    QVERIFY(functions.runner().answerPath().isEmpty());
    functions.DeleteWorkingFiles();

    QVERIFY(QFileInfo(path).isSymLink());
    if (targetExists) {
        QVERIFY(QFileInfo(target).isDir());
        QVERIFY(QDir(target)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    } else {
        QVERIFY(!QFileInfo::exists(target));
    }
}

void TestWorkingFolder::refusesRegularFile()
{
    const QString path = m_env->runtimeDir() + QStringLiteral("/trovanel");
    writeFile(path, "not a folder");

    try {
        WorkingFolder::prepare();
        QFAIL("a regular file was accepted as the working folder");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(QLatin1String("not a folder")),
                 qPrintable(failure.description()));
        QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
    }
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(readFile(path), QByteArray("not a folder"));
}

void TestWorkingFolder::refusesAnotherOwner()
{
    if (::getuid() != 0)
        QSKIP("handing a folder to another user needs root");

    const QString path = m_env->runtimeDir() + QStringLiteral("/trovanel");
    QVERIFY(QDir().mkpath(path));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
    QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);

    try {
        WorkingFolder::prepare();
        QFAIL("a folder of another user was accepted as the working folder");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(QLatin1String("another user")),
                 qPrintable(failure.description()));
    }
    // Refused, not taken over: its mode is someone else's business.
    QCOMPARE(modeOf(path), mode_t(0777));
}

void TestWorkingFolder::tightensOpenMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0777") << 0777;
    QTest::newRow("0750 group may read") << 0750;
    QTest::newRow("0701 others may enter") << 0701;
}

void TestWorkingFolder::tightensOpenMode()
{
    QFETCH(int, mode);

    const QString path = m_env->runtimeDir() + QStringLiteral("/trovanel");
    QVERIFY(QDir().mkpath(path));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    QCOMPARE(modeOf(path), mode_t(mode));

    QCOMPARE(WorkingFolder::prepare(), path);
    QCOMPARE(modeOf(path), mode_t(0700));
}

void TestWorkingFolder::removeIfEmptyKeepsContents()
{
    const QString path = WorkingFolder::prepare();
    writeFile(path + QStringLiteral("/other.txt"), "kept");

    WorkingFolder::removeIfEmpty(path);
    QCOMPARE(readFile(path + QStringLiteral("/other.txt")), QByteArray("kept"));

    WorkingFolder::removeIfEmpty(QString()); // no folder was ever prepared
    QVERIFY(QFileInfo(path).isDir());
}

void TestWorkingFolder::fileExists_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("expected");

    QTest::newRow("file with text") << "text" << true;
    QTest::newRow("empty file") << "empty" << true;
    QTest::newRow("missing file") << "missing" << false;
    QTest::newRow("missing folder") << "missing folder" << false;
    QTest::newRow("empty path") << "no path" << false;
}

void TestWorkingFolder::fileExists()
{
    QFETCH(QString, kind);
    QFETCH(bool, expected);

    QString path = m_env->root() + QStringLiteral("/probe.txt");
    if (kind == QLatin1String("text"))
        writeFile(path, "x");
    else if (kind == QLatin1String("empty"))
        writeFile(path, QByteArray());
    else if (kind == QLatin1String("missing folder"))
        path = m_env->root() + QStringLiteral("/gone/probe.txt");
    else if (kind == QLatin1String("no path"))
        path.clear();

    QCOMPARE(FileExists(path), expected);
}

void TestWorkingFolder::readWholeFileUtf8()
{
    const QString path = m_env->root() + QStringLiteral("/answer.txt");
    // The answer as the service sends it: UTF-8 with line breaks and a tab kept as they are.
    writeFile(path, "{\n\t\"city\": \"S\xc3\xa3o Paulo\"\r\n}");
    QCOMPARE(ReadWholeFile(path), QStringLiteral(u"{\n\t\"city\": \"São Paulo\"\r\n}"));

    writeFile(path, QByteArray());
    QCOMPARE(ReadWholeFile(path), QString());
}

void TestWorkingFolder::readWholeFileFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    // Root reads files whatever their mode; a folder cannot be read as a file by anyone.
    QTest::newRow("a folder") << "folder";
}

void TestWorkingFolder::readWholeFileFailures()
{
    QFETCH(QString, kind);

    const QString path = m_env->root() + QStringLiteral("/unreadable");
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));

    try {
        ReadWholeFile(path);
        QFAIL("an unreadable file was read");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
    }
}

void TestWorkingFolder::deleteFileQuietly_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("missing file") << "missing";
    QTest::newRow("missing folder") << "missing folder";
    QTest::newRow("empty path") << "no path";
    QTest::newRow("file") << "file";
    QTest::newRow("read-only file") << "read-only";
}

void TestWorkingFolder::deleteFileQuietly()
{
    QFETCH(QString, kind);

    QString path = m_env->root() + QStringLiteral("/victim.txt");
    if (kind == QLatin1String("file") || kind == QLatin1String("read-only"))
        writeFile(path, "old answer");
    if (kind == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    if (kind == QLatin1String("missing folder"))
        path = m_env->root() + QStringLiteral("/gone/victim.txt");
    if (kind == QLatin1String("no path"))
        path.clear();

    // Silent: no exception, no warning, no report, whatever there was to delete.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    DeleteFileQuietly(path);
    if (!path.isEmpty())
        QVERIFY(!QFileInfo::exists(path));
    QVERIFY(m_env->reports().isEmpty());
}

QTEST_GUILESS_MAIN(TestWorkingFolder)
#include "tst_workingfolder.moc"
