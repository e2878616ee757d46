#include "support/form1fixture.h"

#include "app/traypresence.h"
#include "desktop/csystray.h"
#include "lookup/curlfunctions.h"
#include "results/historystore.h"
#include "results/resultslist.h"
#include "scheduler/scheduler.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QPushButton>
#include <QTest>
#include <ctime>

namespace {

// Lookups that give up quickly: two runs, short pauses and time-outs, so a test of the window
// never waits on a client for long.
CurlRunnerConfig quickLookups()
{
    CurlRunnerConfig quick;
    quick.maxRuns = 2;
    quick.pauseMs = 20;
    quick.connectTimeoutSeconds = 2;
    quick.maxTimeSeconds = 2;
    quick.watchdogGraceMs = 500;
    return quick;
}

// Stores the settings of an earlier run, each given as "key=value".
void presetSettings(const QStringList &entries)
{
    Settings::Store store;
    for (const QString &entry : entries) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        store.save(entry.left(equals), entry.mid(equals + 1));
    }
}

} // namespace

void Form1Fixture::keepLookupsLocal(const char *timeZone)
{
    if (timeZone) {
        qputenv("TZ", timeZone);
        tzset();
    }
    qputenv("TROVANEL_SERVICE_URL", "http://127.0.0.1:9");
    qputenv("NO_PROXY", "127.0.0.1");
    qputenv("no_proxy", "127.0.0.1");
}

Form1Fixture::Form1Fixture(const Options &options) : now(options.start), m_options(options)
{
    variables.set("XDG_DATA_HOME", env.root() + QStringLiteral("/data"));
    for (const QString &entry : options.presets) {
        if (entry == QLatin1String("store=folder"))
            QDir().mkpath(env.storeFile());
        else
            presetSettings({entry});
    }
    if (options.loopback)
        server.listen();
    if (options.open)
        open();
}

Form1Fixture::~Form1Fixture() = default;

void Form1Fixture::open()
{
    make();
    load();
}

void Form1Fixture::make()
{
    form.reset();
    Clock clock;
    if (m_options.start.isValid())
        clock = [this] {
            return now;
        };
    form = std::make_unique<Form1>(&dialogs, clock);
    if (m_options.start.isValid())
        form->parts().scheduler->setSteadyClocks([this] { return bootMs; },
                                                 [this] { return monotonicMs; });
    if (m_options.loopback) {
        form->parts().lookup->runner().setConfig(quickLookups());
        form->parts().lookup->runner().setServiceBase(server.baseUrl());
    }
    if (m_options.muteTick)
        form->parts().scheduler->timer().installEventFilter(&muted);
    if (m_options.tray) {
        const bool available = *m_options.tray;
        form->parts().tray->setTrayAvailable([available] { return available; });
    }
}

void Form1Fixture::load()
{
    form->Form_Load();
}

void Form1Fixture::passTime(qint64 seconds)
{
    now = now.addSecs(seconds);
    bootMs += seconds * 1000;
    monotonicMs += seconds * 1000;
}

void Form1Fixture::sleep(qint64 seconds)
{
    now = now.addSecs(seconds);
    bootMs += seconds * 1000;
}

void Form1Fixture::tickAfter(qint64 seconds)
{
    passTime(seconds);
    form->parts().scheduler->tick();
}

QPushButton *Form1Fixture::button(const QString &name, const std::source_location &where) const
{
    return widget<QPushButton>(name, where);
}

void Form1Fixture::click(const QString &name, const std::source_location &where) const
{
    button(name, where)->click();
}

cSysTray *Form1Fixture::tray() const
{
    // The icon has no object name: it is the window's only one of its kind.
    return form ? form->findChild<cSysTray *>() : nullptr;
}

void Form1Fixture::missing(const char *type, const QString &name, const std::source_location &where)
{
    const QByteArray message
        = QByteArray("The window has no ") + type + " named \"" + name.toUtf8() + "\".";
    QTest::qFail(message.constData(), where.file_name(), int(where.line()));
}

QString Form1Fixture::historyFile() const
{
    return env.root() + QStringLiteral("/data/Brenvatic/Trovanel/history.sqlite");
}

int Form1Fixture::rows() const
{
    return form ? form->parts().results->rows() : 0;
}
