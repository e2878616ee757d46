#include "core/failure.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "settings/storedstartupsettings.h"
#include "support/datatable.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

enum class Setup {
    StoreIsFolder,
    FolderIsFile,
    LockIsFolder,
    UnreadableFile,
    ReadOnlyFile,
    ReadOnlyFolder,
    OthersFile
};

const QString App = QString::fromLatin1(Settings::AppName);
const QString Section = QString::fromLatin1(Settings::SectionName);

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Qt answers reads of a file it has parsed from memory; a copy under a new name shows what the
// file itself holds.
QMap<QString, QString> keysOnDisk(const TestEnv &env)
{
    static int copies = 0;
    const QString copy = env.root() + QStringLiteral("/copy%1.conf").arg(++copies);
    QFile::copy(env.storeFile(), copy);
    QSettings settings(copy, QSettings::IniFormat);
    QMap<QString, QString> keys;
    const QStringList all = settings.allKeys();
    for (const QString &key : all)
        keys.insert(key, settings.value(key).toString());
    return keys;
}

// Root passes over permission bits, and the test command runs as root on the build machine. The
// process gives that power up for good, so that a read-only file means to this suite what it
// means to a user.
bool giveUpPermissionOverride()
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        const auto bit = ~(1u << (cap % 32));
        data[cap / 32].effective &= bit;
        data[cap / 32].permitted &= bit;
        data[cap / 32].inheritable &= bit;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(giveUpPermissionOverride()); }

    void defaultsOnEmptyStore_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultText");
        for (const SettingKeys::Key &key : SettingKeys::All) {
            if (key.defaultText)
                QTest::newRow(key.name) << key.name << key.defaultText;
        }
    }

    void defaultsOnEmptyStore()
    {
        QFETCH(QString, key);
        QFETCH(QString, defaultText);
        TestEnv env;
        Settings::Store store;
        QCOMPARE(store.get(key, defaultText), defaultText);
        QVERIFY(!QFile::exists(env.storeFile()));
    }

    void roundTrip_data()
    {
        const DataTable<QString, QString> table({"key", "value"});
        table.row("blank in key", "Weekly Time", "14:30:00");
        table.row("blank in key, On", "Windows Startup", "On");
        table.row("on stays lower case", "Minimized", "on");
        table.row("empty value", "Text1", "");
        table.row("blanks around value", "Weekly", " Monday ");
        table.row("ini punctuation", "APIKey", "a, b;c=d \"q\" [x] \\n");
        table.row("at sign and accents", "APIKey", "@Zürich #1");
    }

    void roundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        TestEnv env;
        Settings::Store store;
        store.save(key, value);
        QCOMPARE(store.get(key, QStringLiteral("unset")), value);
        QCOMPARE(keysOnDisk(env).value(Section + QLatin1Char('/') + key), value);
    }

    void keysFoundInAnyCase_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("key") << QByteArray("[Trovanel]\noption1=True\n") << "Option1"
                             << "True";
        QTest::newRow("key and section") << QByteArray("[trovanel]\nOPTION1=1\n") << "Option1"
                                         << "1";
        QTest::newRow("blank written plainly")
            << QByteArray("[TROVANEL]\nweekly time=09:15\n") << "Weekly Time"
            << "09:15";
        QTest::newRow("blank escaped")
            << QByteArray("[Trovanel]\nwindows%20startup=On\n") << "Windows Startup"
            << "On";
        QTest::newRow("own spelling wins")
            << QByteArray("[trovanel]\noption1=1\n[Trovanel]\nOPTION1=2\nOption1=3\n") << "Option1"
            << "3";
        QTest::newRow("unquoted comma") << QByteArray("[Trovanel]\nAPIKey=ab, cd\n") << "APIKey"
                                        << "ab, cd";
    }

    void keysFoundInAnyCase()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        TestEnv env;
        Settings::Store store;
        writeFile(env.storeFile(), content);
        // Open to others, as an earlier version left it: closed when read, and only it.
        QCOMPARE(QProcess::execute("chmod", {"-R", "go+rX", env.configHome()}), 0);
        QCOMPARE(store.get(key, QStringLiteral("unset")), expected);
        QCOMPARE(FileMode(env.storeFile()), 0600);
        QCOMPARE(FileMode(env.configHome() + "/Brenvatic"), 0700);
        QCOMPARE(FileMode(env.configHome()), 0755);
    }

    void saveReplacesOtherSpellings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("key") << QByteArray("[Trovanel]\nOPTION1=1\nText1=5\n");
        QTest::newRow("section") << QByteArray("[trovanel]\noption1=1\nText1=5\n");
        QTest::newRow("several") << QByteArray(
            "[Trovanel]\noption1=1\nOPTION1=1\nText1=5\n[TROVANEL]\nOption1=1\n");
    }

    void saveReplacesOtherSpellings()
    {
        QFETCH(QByteArray, content);
        TestEnv env;
        Settings::Store store;
        writeFile(env.storeFile(), content);
        store.save(QStringLiteral("Option1"), QStringLiteral("0"));

        QStringList spellings;
        const QMap<QString, QString> keys = keysOnDisk(env);
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            if (it.key().endsWith(QStringLiteral("/option1"), Qt::CaseInsensitive))
                spellings << it.key() + QLatin1Char('=') + it.value();
        }
        QCOMPARE(spellings, QStringList {QStringLiteral("Trovanel/Option1=0")});
        QCOMPARE(store.get(QStringLiteral("Text1"), QString()), QStringLiteral("5"));
    }

    void truthValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("True") << "True" << true;
        QTest::newRow("true") << "true" << true;
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("False") << "False" << false;
        QTest::newRow("fAlSe") << "fAlSe" << false;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("0.0") << "0.0" << false;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("-1") << "-1" << true;
        QTest::newRow("2.5") << "2.5" << true;
        QTest::newRow("number with blanks") << " 0 " << false;
    }

    void truthValue()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(Settings::TruthValue(text), expected);
        QCOMPARE(Settings::TruthValue(Settings::TruthText(expected)), expected);
    }

    void notATruthValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("yes") << "yes";
        QTest::newRow("abc") << "abc";
        QTest::newRow("word with blank") << " true";
        QTest::newRow("number with unit") << "1h";
        QTest::newRow("nan") << "nan";
    }

    void notATruthValue()
    {
        QFETCH(QString, text);
        try {
            Settings::TruthValue(text);
            QFAIL("no failure");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(QLatin1Char('"') + text + QLatin1Char('"')),
                     qPrintable(failure.description()));
        }
    }

    void typedValueReadBack_data()
    {
        const DataTable<QString, QString, QString> table({"key", "stored", "writtenBack"});
        table.row("port", "Share Port", " 8883 ", "8883");
        table.row("highest port", "Share Port", "65535", "65535");
        table.row("port 0", "Share Port", "0", "1883");
        table.row("port above the range", "Share Port", "65536", "1883");
        table.row("port not a number", "Share Port", "80a", "1883");
        table.row("On", "Minimized", "On", "On");
        table.row("on in another case", "Share TLS", "on", "Off");
        table.row("mode in another case", "Share", " mqtt ", "MQTT");
        table.row("unknown mode", "Share", "FTP", "Off");
        table.row("auth in another case", "Share Auth", "TOKEN", "Token");
        table.row("truth as a number", "Option3", "2", "True");
        table.row("switch in lower case, as a group", "StartStopState", "on", "on");
        table.row("start-up in lower case, as a group", "Windows Startup", "on", "Off");
        table.row("kept results, as a group", "Keep Results", "On", "On");
    }

    // A text an earlier version wrote, read through its key's type (or its group's field) and
    // saved again: the bytes a save writes for what was read, and a change told only when those
    // bytes differ. A save writes no other key.
    void typedValueReadBack()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, writtenBack);
        TestEnv env;
        Settings::Store store;
        store.save(key, stored);
        QSignalSpy changed(&store, &Settings::Store::changed);
        const auto readBack = [&key, &store](const auto &typed) {
            if (key != QLatin1String(typed.name))
                return false;
            store.setValue(typed, store.value(typed));
            return true;
        };
        const auto readBackInGroup = [&key, &store] {
            for (const StoredStartupSettings::Field &field : StoredStartupSettings::fields()) {
                if (key != QLatin1String(field.key.name))
                    continue;
                StartupSettings settings;
                field.read(settings, store.get(field.key));
                StoredStartupSettings::write(store, settings, {&field.key});
                return true;
            }
            return false;
        };
        QVERIFY(readBack(SettingKeys::SharePort) || readBack(SettingKeys::Minimized)
                || readBack(SettingKeys::ShareTls) || readBack(SettingKeys::Share)
                || readBack(SettingKeys::ShareAuth) || readBack(SettingKeys::Option3)
                || readBackInGroup());
        const QMap<QString, QString> onlyKey {{Section + QLatin1Char('/') + key, writtenBack}};
        QCOMPARE(keysOnDisk(env), onlyKey);
        const QList<QVariantList> told {QVariantList {key}};
        QCOMPARE(changed, writtenBack == stored ? QList<QVariantList>() : told);
    }

    void storeLocation_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen folder") << "/chosen"
                                       << "/xdg"
                                       << "/chosen";
        QTest::newRow("XDG_CONFIG_HOME") << ""
                                         << "/xdg"
                                         << "/xdg";
        QTest::newRow("no XDG_CONFIG_HOME") << ""
                                            << ""
                                            << "/home/.config";
        QTest::newRow("relative XDG_CONFIG_HOME") << ""
                                                  << "xdg"
                                                  << "/home/.config";
    }

    void storeLocation()
    {
        QFETCH(QString, folder);
        QFETCH(QString, configHome);
        QFETCH(QString, expected);
        TestEnv env;
        const auto inRoot = [&](const QString &path) {
            return path.startsWith(QLatin1Char('/')) ? env.root() + path : path;
        };
        qputenv("XDG_CONFIG_HOME", inRoot(configHome).toLocal8Bit());
        Settings::Store store(folder.isEmpty() ? folder : inRoot(folder));
        const QString file = inRoot(expected) + QStringLiteral("/Brenvatic/Trovanel.conf");
        QCOMPARE(store.file(), file);
        store.save(SettingKeys::Text1, QStringLiteral("7"));
        QVERIFY(QFile::exists(file));
        QCOMPARE(FileMode(file), 0600);
        QCOMPARE(FileMode(QFileInfo(file).path()), 0700);
    }

    void unusableStore_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<bool>("readFails");
        QTest::newRow("folder at the file's place") << Setup::StoreIsFolder << true;
        QTest::newRow("file at the folder's place") << Setup::FolderIsFile << false;
        QTest::newRow("folder at the lock's place") << Setup::LockIsFolder << false;
        QTest::newRow("unreadable file") << Setup::UnreadableFile << true;
        QTest::newRow("read-only file") << Setup::ReadOnlyFile << false;
        QTest::newRow("read-only folder") << Setup::ReadOnlyFolder << false;
        QTest::newRow("another user's file, open to all") << Setup::OthersFile << false;
    }

    void unusableStore()
    {
        QFETCH(Setup, setup);
        QFETCH(bool, readFails);
        TestEnv env;
        Settings::Store store;
        const QString file = env.storeFile();
        const QString folder = QFileInfo(file).absolutePath();
        const bool hasKeys = setup != Setup::StoreIsFolder && setup != Setup::FolderIsFile;
        if (hasKeys) {
            store.save(QStringLiteral("Text1"), QStringLiteral("5"));
            store.save(QStringLiteral("Text2"), QStringLiteral("6"));
        }
        const QByteArray bytes = fileBytes(file);
        const auto restorePermissions = [&] {
            if (setup == Setup::ReadOnlyFolder)
                QFile::setPermissions(folder,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            if (setup == Setup::UnreadableFile || setup == Setup::ReadOnlyFile)
                QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        };
        const auto restoreOnFailure = qScopeGuard(restorePermissions);
        switch (setup) {
        case Setup::StoreIsFolder:
            QVERIFY(QDir().mkpath(file));
            break;
        case Setup::FolderIsFile:
            writeFile(folder, "not a folder");
            break;
        case Setup::LockIsFolder:
            QVERIFY(QDir().mkpath(file + QStringLiteral(".lock")));
            break;
        case Setup::UnreadableFile:
            QVERIFY(QFile::setPermissions(file, {}));
            break;
        case Setup::ReadOnlyFile:
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
            break;
        case Setup::ReadOnlyFolder:
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            break;
        case Setup::OthersFile:
            QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions(0x6644)));
            if (::chown(QFile::encodeName(file).constData(), 65534, 65534) != 0)
                QSKIP("handing a file to another user needs root");
            break;
        }

        try {
            store.save(QStringLiteral("Text1"), QStringLiteral("99"));
            QFAIL("the save did not fail");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(file), qPrintable(failure.description()));
        }
        try {
            const QString read = store.get(QStringLiteral("Text1"), QStringLiteral("none"));
            QVERIFY(!readFails);
            QCOMPARE(read, QString::fromLatin1(hasKeys ? "5" : "none"));
        } catch (const Failure &failure) {
            QVERIFY2(readFails, qPrintable(failure.description()));
            QVERIFY2(failure.description().contains(file), qPrintable(failure.description()));
        }
        QCOMPARE(env.reports().size(), setup == Setup::OthersFile ? 1 : 0); // though met twice
        QVERIFY(env.reports().isEmpty()
                || env.reports()[0].description.contains(file + "\" private to you (it belongs"));
        // Storing what the store holds asks nothing of it: start-up does so for every key.
        if (hasKeys && !readFails)
            QVERIFY_THROWS_NO_EXCEPTION(store.save(QStringLiteral("Text1"), QStringLiteral("5")));
        restorePermissions();
        QCOMPARE(fileBytes(file), bytes);
        if (hasKeys)
            QCOMPARE(store.get(QStringLiteral("Text2"), QString()), QStringLiteral("6"));
    }

    // A full disk: the failure comes from Qt itself while it writes, after every check passed.
    void failedWriteLeavesNoTrace()
    {
        TestEnv env;
        Settings::Store store;
        store.save(QStringLiteral("Text1"), QStringLiteral("5"));
        store.save(QStringLiteral("Text2"), QStringLiteral("6"));
        {
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit oldLimit {};
            getrlimit(RLIMIT_FSIZE, &oldLimit);
            const auto lift = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &oldLimit);
                std::signal(SIGXFSZ, oldHandler);
            });
            rlimit noRoom = oldLimit;
            noRoom.rlim_cur = 0;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &noRoom), 0);
            QVERIFY_THROWS_EXCEPTION(Failure,
                                     store.save(QStringLiteral("Text1"), QStringLiteral("99")));
        }
        QCOMPARE(store.get(QStringLiteral("Text1"), QString()), QStringLiteral("5"));
        QCOMPARE(store.get(QStringLiteral("Text2"), QString()), QStringLiteral("6"));
        QCOMPARE(keysOnDisk(env).value(QStringLiteral("Trovanel/Text1")), QStringLiteral("5"));
        store.save(QStringLiteral("Text1"), QStringLiteral("8"));
        QCOMPARE(keysOnDisk(env).value(QStringLiteral("Trovanel/Text1")), QStringLiteral("8"));
    }

    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unclosed section") << QByteArray("[Trovanel\nOption1=1\n");
        QTest::newRow("line without =") << QByteArray("[Trovanel]\nOption1=1\nnot a setting\n");
        QTest::newRow("in another section")
            << QByteArray("[Trovanel]\nOption1=1\n[Notes]\nremember this\n");
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        QTest::newRow("zero bytes") << QByteArray(32, '\0');
    }

    void damagedStore()
    {
        QFETCH(QByteArray, content);
        TestEnv env;
        Settings::Store store;
        writeFile(env.storeFile(), content);
        // The second round meets Qt's cached parse of the file, which no longer reports the fault.
        for (int round = 0; round < 2; ++round) {
            try {
                store.save(QStringLiteral("Option1"), QStringLiteral("0"));
                QFAIL("the save did not fail");
            } catch (const Failure &failure) {
                QVERIFY2(failure.description().contains(env.storeFile()),
                         qPrintable(failure.description()));
            }
            QVERIFY_THROWS_EXCEPTION(Failure, store.get(QStringLiteral("Option1"), QString()));
            QCOMPARE(fileBytes(env.storeFile()), content);
        }

        writeFile(env.storeFile(), "[Trovanel]\nOption1=1\nText1=4\n");
        QCOMPARE(store.get(QStringLiteral("Option1"), QString()), QStringLiteral("1"));
        store.save(QStringLiteral("Option1"), QStringLiteral("0"));
        QCOMPARE(store.get(QStringLiteral("Option1"), QString()), QStringLiteral("0"));
        QCOMPARE(store.get(QStringLiteral("Text1"), QString()), QStringLiteral("4"));
    }

    void unusableNames_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty key") << "";
        QTest::newRow("slash in key") << "Text/1";
        QTest::newRow("backslash in key") << "Text\\1";
    }

    void unusableNames()
    {
        QFETCH(QString, key);
        TestEnv env;
        Settings::Store store;
        QVERIFY_THROWS_EXCEPTION(Failure, store.save(key, QStringLiteral("1")));
        QVERIFY_THROWS_EXCEPTION(Failure, store.get(key, QStringLiteral("1")));
        QVERIFY(!QFile::exists(env.storeFile()));
    }
};

QTEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
