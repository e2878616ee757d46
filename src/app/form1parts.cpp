#include "app/form1parts.h"

#include "app/importaction.h"

#include "app/exportcontroller.h"
#include "app/keyhelp.h"
#include "app/locationoption.h"
#include "app/loggingswitch.h"
#include "app/look.h"
#include "app/machinewatch.h"
#include "app/placesactions.h"
#include "app/resultsview.h"
#include "app/rowmenu.h"
#include "app/schedulecontrols.h"
#include "app/sharing.h"
#include "app/startupoptions.h"
#include "app/statusframe.h"
#include "app/traypresence.h"
#include "desktop/modkeyboard.h"
#include "desktop/networkwatch.h"
#include "lookup/curlfunctions.h"
#include "platform/togglehotkey.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "results/rowcorrections.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "settings/settingsstore.h"
#include "share/ownmessage.h"
#include "share/sharer.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

// The parts are made in the order the window always made them: the window's children keep
// their order, and each part finds the ones it is handed already made.
Form1Parts::Form1Parts(QWidget *window, Dialogs *dialogs, const Clock &clock)
    : settings(new Settings::Store())
{
    makeButtons(window);
    makeLookup(window, dialogs, clock);
    makeSchedule(window, dialogs, clock);
    makeActions(window, dialogs, clock);
    makeCorrections(window, dialogs, clock);
    // The window's last child: the parts made before it still save as they are taken down.
    settings->setParent(window);
}

Form1Parts::~Form1Parts() = default;

void Form1Parts::makeButtons(QWidget *window)
{
    const auto button = [window](const char *name, const char *caption) {
        return NamedButton(QString::fromLatin1(name), QString::fromLatin1(caption), window);
    };
    PushButton1 = button("PushButton1", "Clear Results");
    PushButton2 = button("PushButton2", "");
    PushButton4 = button("PushButton4", "Save Results As Text File");
    PushButton5 = button("PushButton5", "Copy Results To Clipboard");
    PushButton6 = button("PushButton6", "Save Results As Excel File");
    PushButton7 = button("PushButton7", "Help / How Do I Get An API Key?");
    PushButton8 = button("PushButton8", "Enter Your API Key");
    PushButton9 = button("PushButton9", "Log Now (Test)");
    Label4
        = new QLabel(QStringLiteral("Turn On (Press Ctrl + Shift + T to toggle ON/OFF)"), window);
    Label4->setObjectName(QStringLiteral("Label4"));
    Frame4 = new StatusFrame(window);
}

void Form1Parts::makeLookup(QWidget *window, Dialogs *dialogs, const Clock &clock)
{
    results = new ResultsList(window);
    results->setFallbackWarningIcon(StyleWarningIcon);
    ListView1 = new ResultsView(results, window);
    kept = new KeptResults(results, dialogs, window);
    sharing = new Sharing(kept, results, dialogs, *settings, window);
    lookup = new CurlFunctions(kept, window);
    sharing->follow(lookup);
    lookup->setClock(clock);
    keyHelp = std::make_unique<KeyHelp>(dialogs, *settings);
    lookup->runner().setKeySource([help = keyHelp.get()] { return help->storedKey(); });
}

void Form1Parts::makeSchedule(QWidget *window, Dialogs *dialogs, const Clock &clock)
{
    schedule = new ScheduleModel(clock, *settings, ScheduleControls::reportPlaces(), window);
    controls = new ScheduleControls(schedule, dialogs, window);
    options = new StartupOptions(*settings, window);
    tray = new TrayPresence(window, dialogs);
    scheduler = new Scheduler(schedule, lookup, clock,
                              {QStringLiteral("Form1"), QStringLiteral("Timer1_Timer")}, window);
    scheduler->timer().setObjectName(QStringLiteral("Timer1"));
    machine = new MachineWatch(scheduler, schedule, options, window);
    location = new LocationOption(options, lookup, dialogs, window);
}

void Form1Parts::makeActions(QWidget *window, Dialogs *dialogs, const Clock &clock)
{
    pointer = new PointerRule(window);
    exports = new ExportController(results, dialogs, pointer, clock, window);
    places = new PlacesActions(results, ListView1, dialogs, exports, window);
    importer = new ImportAction(window, results, kept, sharing, options, dialogs);
    loggingSwitch = new LoggingSwitch(PushButton2, window, schedule, scheduler, keyHelp.get(),
                                      Frame4, pointer);
    keyboard = new modKeyboard([action = loggingSwitch->toggleAction()] { action->trigger(); },
                               createToggleHotkey(), window);
}

void Form1Parts::makeCorrections(QWidget *window, Dialogs *dialogs, const Clock &clock)
{
    corrections = new RowCorrections(results, kept, window);
    corrections->setRemoved([this](const QList<LogId> &logs) { sharing->withdraw(logs); });
    rowMenu = new RowMenu(ListView1, corrections, dialogs);
    // A message still waiting goes with the place the user chose; made as sharing makes it.
    corrections->setPlaceChanged([this, clock](const LogRecord &record) {
        const OwnMessage::Sender sender {OwnMessage::trackerId(ShareSettings::hostName()),
                                         machine->network()->connectionKind()};
        const QByteArray message = OwnMessage::location(record, sender, clock().toSecsSinceEpoch());
        if (!message.isEmpty())
            sharing->replaceWaiting(record.id, message);
    });
}
