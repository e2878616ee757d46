#pragma once

#include "app/form1.h"
#include "app/form1parts.h"
#include "support/fixtures.h"
#include "support/loopbackserver.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <source_location>
#include <vector>

class QPushButton;
class cSysTray;

// The main window as the window tests build it: a private world, scripted dialogs, the settings
// of an earlier run, a clock the test moves, and lookups served on the loopback. The test finds
// the window's controls by their object names, as a user finds them by their captions.
class Form1Fixture
{
public:
    struct Options
    {
        // Stored before the window is made, each "key=value". "store=folder" puts a folder
        // where the settings file belongs: a store that cannot be read.
        QStringList presets {};
        // The window's time starts here and moves only when the test moves `now`; null: the
        // real clock.
        QDateTime start {};
        // Lookups go to `server` and give up quickly.
        bool loopback = true;
        // Only the test's own ticks count; the tick's timer still runs as the window makes it.
        bool muteTick = true;
        // Whether the desktop has a tray; none: the desktop is asked.
        std::optional<bool> tray = true;
        // Makes and loads the window at once. Without it the test prepares what it needs and
        // calls open(), or make() and load().
        bool open = true;
    };

    // For a whole test run: nothing may reach the public service or a proxy, and the local
    // time is that of timeZone (none: left as it is).
    static void keepLookupsLocal(const char *timeZone = nullptr);

    explicit Form1Fixture(const Options &options);
    ~Form1Fixture();
    Form1Fixture(const Form1Fixture &) = delete;
    Form1Fixture &operator=(const Form1Fixture &) = delete;

    // A new window in place of the last one, as the next run of the program, loaded.
    void open();
    // The window without its start-up: its lookups and its tick prepared as the options say.
    void make();
    // The window's start-up (Form_Load).
    void load();

    // The window's control named `name` (its object name), of type T. A control that is not
    // there fails the test at the caller's line; the test then goes on with a stand-in, so
    // that it ends without a crash.
    template<class T = QWidget>
    T *widget(const QString &name,
              const std::source_location &where = std::source_location::current()) const
    {
        if (T *found = form ? form->findChild<T *>(name) : nullptr)
            return found;
        missing(T::staticMetaObject.className(), name, where);
        auto *standIn = new T;
        m_standIns.emplace_back(standIn);
        return standIn;
    }
    QPushButton *button(const QString &name,
                        const std::source_location &where = std::source_location::current()) const;
    // The user clicks the named button.
    void click(const QString &name,
               const std::source_location &where = std::source_location::current()) const;
    // The tray icon: null until the window has put it up, right after start-up.
    cSysTray *tray() const;

    // The machine runs for the given seconds: the test's wall, boot and monotonic clocks move.
    void passTime(qint64 seconds);
    // The machine sleeps for the given seconds: the wall and boot clocks move, the monotonic
    // one stands, as the system's do over a suspend.
    void sleep(qint64 seconds);

    // The clocks move the given seconds and the scheduler's tick comes.
    void tickAfter(qint64 seconds = 1);

    // The kept history's file: the test's own data folder holds it.
    QString historyFile() const;
    // Rows in the window's table.
    int rows() const;

    // Error reports since the last call, each as "module/procedure:line".
    QStringList reports() { return env.takeReportPlaces(); }

    TestEnv env;
    // Variables a test changes for the window: set before the window is made, put back once
    // it is gone.
    EnvOverride variables;
    QDateTime now;
    // The window's boot and monotonic clocks in milliseconds, with a start; the system's
    // without one.
    qint64 bootMs = 5'000'000;
    qint64 monotonicMs = 4'000'000;
    ScriptedDialogs dialogs;
    LoopbackServer server;
    MutedTimer muted;
    std::unique_ptr<Form1> form;

private:
    static void missing(const char *type, const QString &name, const std::source_location &where);

    Options m_options;
    mutable std::vector<std::unique_ptr<QObject>> m_standIns;
};
