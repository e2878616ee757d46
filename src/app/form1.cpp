#include "app/form1.h"

#include "app/desktopdialogs.h"
#include "app/exportcontroller.h"
#include "app/hotkeycaption.h"
#include "app/keyhelp.h"
#include "app/locationoption.h"
#include "app/loggingswitch.h"
#include "app/look.h"
#include "app/machinewatch.h"
#include "app/placesactions.h"
#include "app/resultsview.h"
#include "app/schedulecontrols.h"
#include "app/sharing.h"
#include "app/startupoptions.h"
#include "app/startuprestore.h"
#include "app/statusframe.h"
#include "app/traypresence.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "desktop/modkeyboard.h"
#include "lookup/curlfunctions.h"
#include "platform/togglehotkey.h"
#include "results/exportfiles.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "scheduler/schedulerules.h"
#include "settings/settingsstore.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

Form1::Form1(Dialogs *dialogs, Clock clock, QWidget *parent)
    : QWidget(parent), m_dialogs(dialogs), m_clock(clock ? std::move(clock) : Clock(SystemNow))
{
    if (!m_dialogs) {
        m_ownDialogs = std::make_unique<DesktopDialogs>(this, &m_title);
        m_dialogs = m_ownDialogs.get();
    }
    setObjectName(QStringLiteral("Form1"));
    // Set before the controls exist, so that each is made in it rather than told of a change
    // one by one.
    ApplyDesignedLook(this);

    PushButton1 = NamedButton(QStringLiteral("PushButton1"), QStringLiteral("Clear Results"), this);
    PushButton2 = NamedButton(QStringLiteral("PushButton2"), QString(), this);
    PushButton4 = NamedButton(QStringLiteral("PushButton4"),
                              QStringLiteral("Save Results As Text File"), this);
    PushButton5 = NamedButton(QStringLiteral("PushButton5"),
                              QStringLiteral("Copy Results To Clipboard"), this);
    PushButton6 = NamedButton(QStringLiteral("PushButton6"),
                              QStringLiteral("Save Results As Excel File"), this);
    PushButton7 = NamedButton(QStringLiteral("PushButton7"),
                              QStringLiteral("Help / How Do I Get An API Key?"), this);
    PushButton8
        = NamedButton(QStringLiteral("PushButton8"), QStringLiteral("Enter Your API Key"), this);
    PushButton9
        = NamedButton(QStringLiteral("PushButton9"), QStringLiteral("Log Now (Test)"), this);
    Label4 = new QLabel(QStringLiteral("Turn On (Press Ctrl + Shift + T to toggle ON/OFF)"), this);
    Frame4 = new StatusFrame(this);

    m_results = new ResultsList(this);
    m_results->setFallbackWarningIcon(StyleWarningIcon);
    ListView1 = new ResultsView(m_results, this);
    m_kept = new KeptResults(m_results, m_dialogs, this);
    m_sharing = new Sharing(m_kept, m_results, m_dialogs, this);
    m_lookup = new CurlFunctions(m_sharing->table(), this);
    m_lookup->setClock(m_clock);
    m_lookup->runner().setKeySource(&KeyHelp::storedKey);
    m_schedule = new ScheduleModel(m_clock, ScheduleControls::reportPlaces(), this);
    m_controls = new ScheduleControls(m_schedule, m_dialogs, this);
    m_options = new StartupOptions(this);
    m_tray = new TrayPresence(this, m_dialogs);
    m_scheduler = new Scheduler(m_schedule, m_lookup, m_clock,
                                {QStringLiteral("Form1"), QStringLiteral("Timer1_Timer")}, this);
    m_scheduler->timer().setObjectName(QStringLiteral("Timer1"));
    m_machine = new MachineWatch(m_scheduler, m_schedule, m_options, this);
    m_location = new LocationOption(m_options, m_lookup, m_dialogs, this);
    m_keyHelp = std::make_unique<KeyHelp>(m_dialogs);
    m_pointer = new PointerRule(this);
    m_exports = new ExportController(m_results, m_dialogs, m_pointer, m_clock, this);
    m_places = new PlacesActions(m_results, ListView1, m_dialogs, m_exports, this);
    m_switch = new LoggingSwitch(PushButton2, this, m_schedule, m_scheduler, m_keyHelp.get(),
                                 Frame4, m_pointer);
    m_keyboard = new modKeyboard([action = m_switch->toggleAction()] { action->trigger(); },
                                 createToggleHotkey(), this);
    connect(m_keyboard, &modKeyboard::triggerChanged, new HotkeyCaption(Label4, m_dialogs, this),
            &HotkeyCaption::showTrigger);
    Label4->setObjectName(QStringLiteral("Label4"));
    buildLayout();

    for (QWidget *b : {PushButton1, PushButton2, PushButton4, PushButton5, PushButton6, PushButton7,
                       PushButton8, PushButton9, m_places->saveAs(), m_places->showMap(),
                       m_places->countries(), m_sharing->button()})
        m_pointer->addButton(b);
    for (QWidget *area : std::initializer_list<QWidget *> {
             m_controls, m_options, Frame4, ListView1, ListView1->viewport(),
             m_controls->findChild<QWidget *>(QStringLiteral("Label1")),
             m_controls->findChild<QWidget *>(QStringLiteral("Text2"))})
        m_pointer->addResettingArea(area);

    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    // The exports' handlers (PushButton4_Click to PushButton6_Click) live with the exports.
    connect(PushButton4, &QPushButton::clicked, m_exports, &ExportController::saveTextFile);
    connect(PushButton5, &QPushButton::clicked, m_exports, &ExportController::copyToClipboard);
    connect(PushButton6, &QPushButton::clicked, m_exports, &ExportController::openSpreadsheet);
    connect(PushButton8, &QPushButton::clicked, this, [this] { m_keyHelp->PushButton8_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { m_keyHelp->PushButton7_Click(); });
    connect(m_options, &StartupOptions::keepResultsChanged, m_sharing, &Sharing::setKeeping);
    connect(m_sharing, &Sharing::waitingChanged, m_tray, &TrayPresence::showWaitingToShare);
    connect(m_sharing, &Sharing::secretLocked, m_tray, &TrayPresence::showSecretLocked);
    connect(m_lookup, &CurlFunctions::progressText, Frame4, &StatusFrame::setProgressText);
    connect(m_scheduler, &Scheduler::countdown, Frame4, &StatusFrame::showNextLog);
    // The tick decides a box's fallback; the schedule takes it as typed, and saves it.
    connect(m_scheduler, &Scheduler::intervalFallback, m_schedule, &ScheduleModel::setIntervalText);
    Frame4->showProgressOf(m_scheduler);
    Frame4->showProgressOf(m_exports);
    connect(m_exports, &ExportController::progressText, Frame4, &StatusFrame::setProgressText);
    connect(m_lookup, &CurlFunctions::logFinished, ListView1, &ResultsView::showRow);
    // The tray icon's tip names the last failed log until a log succeeds, so that a user who
    // keeps the window hidden learns of a refused key or a rate limit.
    connect(m_lookup, &CurlFunctions::lookupOutcome, m_tray, &TrayPresence::showLastFailure);
}

Form1::~Form1()
{
    Form_QueryUnload();
}

void Form1::buildLayout()
{
    auto *switchRow = new QHBoxLayout;
    switchRow->addWidget(PushButton2);
    switchRow->addWidget(Label4, 1);
    switchRow->addWidget(PushButton9);

    auto *buttons = new QGridLayout;
    buttons->addWidget(PushButton1, 0, 0);
    buttons->addWidget(PushButton4, 0, 1);
    buttons->addWidget(m_places->saveAs(), 0, 2);
    buttons->addWidget(PushButton5, 1, 0);
    buttons->addWidget(PushButton6, 1, 1);
    buttons->addWidget(m_places->showMap(), 1, 2);
    buttons->addWidget(PushButton8, 2, 0);
    buttons->addWidget(PushButton7, 2, 1);
    buttons->addWidget(m_places->countries(), 2, 2);
    buttons->addWidget(m_sharing->button(), 3, 2);

    auto *left = new QVBoxLayout;
    left->addWidget(m_controls);
    left->addLayout(switchRow);
    left->addWidget(Frame4);
    left->addLayout(buttons);
    left->addWidget(m_options);
    left->addStretch(1);

    auto *main = new QHBoxLayout(this);
    main->addLayout(left, 0);
    main->addWidget(ListView1, 1);

    // The keyboard follows the layout: schedule, switch, status, results actions, key, start-up
    // options, and last the results list.
    QList<QWidget *> order = m_controls->focusOrder();
    order << PushButton2 << PushButton9 << PushButton1 << PushButton4 << m_places->saveAs()
          << PushButton5 << PushButton6 << m_places->showMap() << PushButton8 << PushButton7
          << m_places->countries() << m_sharing->button() << m_options->focusOrder() << ListView1;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    // 15960 x 5715 twips at 96 dots per inch.
    resize(1064, 381);
}

void Form1::Form_Load()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    const QString programFolder = QCoreApplication::applicationDirPath();
    // One reading of the settings for all of start-up.
    const Settings::Snapshot settings;

    steps.step(100, [&] { ApplySkin(this, programFolder); });
    steps.step(102, [&] { m_options->setRestoring(true); });
    steps.step(106, [&] {
        // The icon follows with the tray icon, once the window is on screen: drawing it is
        // the slowest part of this step.
        setWindowTitle(QString::fromLatin1(ProductName));
        m_title.set();
    });
    const QString cursorFile = programFolder + QStringLiteral("/HAND-M.CUR");
    if (QFile::exists(cursorFile)) {
        steps.step(110, [&] {
            const QPixmap image(cursorFile);
            if (image.isNull())
                throw Failure(QStringLiteral("The pointer %1 cannot be read.").arg(cursorFile));
            m_pointer->setCustomCursor(QCursor(image, 0, 0));
        });
    }

    auto schedule = [this](const SettingKeys::Key &key) {
        return [this, &key](const QString &text) {
            m_schedule->restore(key, text);
        };
    };
    RestoreAll(steps, settings,
               {
                   {SettingKeys::Option1, 132, schedule(SettingKeys::Option1)},
                   {SettingKeys::Option2, 134, schedule(SettingKeys::Option2)},
                   {SettingKeys::Option3, 136, schedule(SettingKeys::Option3)},
                   {SettingKeys::WeeklyTime, 138, schedule(SettingKeys::WeeklyTime),
                    ScheduleRules::WeeklyTimeText(m_clock().time())},
                   {SettingKeys::Weekly, 140, schedule(SettingKeys::Weekly)},
                   {SettingKeys::Text1, 142, schedule(SettingKeys::Text1)},
                   {SettingKeys::Text2, 144, schedule(SettingKeys::Text2)},
                   {SettingKeys::Text3, 146, schedule(SettingKeys::Text3)},
               });
    steps.step(162, [&] { ListView1->setFirstColumnWidths(); });
    steps.step(176, [&] { m_lookup->ExtractWorkingFiles(); });
    // Spreadsheets handed to the user's application a day ago or more have served.
    Spreadsheet::RemoveOldExports(m_clock());

    // A start-up option's box, ticked when its setting is "On".
    auto option = [this](void (StartupOptions::*restore)(bool)) {
        return [tick = std::bind_front(restore, m_options)](const QString &text) {
            tick(SettingKeys::decodeOnOff(text));
        };
    };
    RestoreAll(
        steps, settings,
        {
            {SettingKeys::StartStopState, 178,
             [this](const QString &state) {
                 m_switch->restore(state);
             }},
            {SettingKeys::WindowsStartup, 210, option(&StartupOptions::restoreStartup)},
            {SettingKeys::Minimized, 212, option(&StartupOptions::restoreMinimized)},
            // Restores the window has beyond the original ones take numbers after its last step,
            // so a report never names a line that belongs to another step.
            {SettingKeys::LogOnNetworkChange, 232, option(&StartupOptions::restoreNetworkChange)},
            {SettingKeys::KeepResults, 234, option(&StartupOptions::restoreKeepResults)},
            {SettingKeys::UseLocationService, 236, option(&StartupOptions::restoreLocationService)},
        });
    m_sharing->restore(steps, settings);
    if (m_options->startsWithSession()) {
        steps.step(216, [&] { m_options->offerMinimized(true); });
        if (m_options->startsMinimized())
            // The window goes straight to the tray once start-up is over; it is never shown.
            steps.step(220, [&] { m_tray->setStartHidden(true); });
    } else {
        steps.step(222, [&] { m_options->offerMinimized(false); });
    }
    steps.step(224, [&] { m_options->setRestoring(false); });
    // The tray icon, the hotkey listener and the kept rows come up once the window is drawn:
    // the user sees the window sooner, and nothing can reach them before the event loop runs.
    // A window that starts hidden has nothing to wait for; a shown one that is never drawn
    // (another workspace) waits a little at most.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            afterFirstPaint();
        else if (!m_drawn)
            QTimer::singleShot(FirstPaintWaitMs, this, &Form1::afterFirstPaint);
    });
}

void Form1::afterFirstPaint()
{
    if (m_unloaded || m_started)
        return;
    m_started = true;
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    steps.step(226, [&] {
        m_tray->createIcon();
        setWindowIcon(QIcon(QStringLiteral(":/trovanel.svg")));
    });
    steps.step(228, [&] { m_tray->putInTray(); });
    // Without a way to listen (no X11 display, no RECORD extension) the program goes on
    // without the hotkey.
    steps.step(230, [&] { m_keyboard->HookKeyboard(); });
    // Answered in the background, before the user asks for a sheet.
    m_exports->spreadsheetCheck().check();
    m_tray->startWaiting();
    m_machine->start();
    m_kept->start(m_options->keepsResults());
    m_sharing->start(m_machine->network());
}

bool Form1::event(QEvent *event)
{
    if (event->type() == QEvent::Paint && !m_drawn) {
        m_drawn = true;
        QTimer::singleShot(0, this, &Form1::afterFirstPaint);
    }
    return QWidget::event(event);
}

void Form1::showAtStart()
{
    m_tray->showAtStart();
}

void Form1::Form_Resize()
{
    m_tray->windowMinimized();
}

void Form1::restoreFromTray()
{
    m_tray->restore();
}

bool Form1::HiddenInTray() const
{
    return m_tray->hiddenInTray();
}

void Form1::setTrayAvailable(std::function<bool()> available)
{
    m_tray->setTrayAvailable(std::move(available));
}

const ScheduleState &Form1::state() const
{
    return m_scheduler->counts();
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Hidden once the state change is complete, not in the middle of it.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized))
        QTimer::singleShot(0, this, &Form1::Form_Resize);
}

void Form1::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_tray->close();
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    steps.step(100, [&] { m_keyboard->UnhookKeyboard(); });
    steps.step(102, [&] { m_scheduler->stopTimer(); });
    steps.step(104, [&] { m_tray->removeIcon(); });
    // A lookup in flight is ended; it adds no row. A step of its own, numbered after the last.
    steps.step(114, [&] { m_scheduler->abortLogs(); });
    steps.step(108, [&] { m_lookup->DeleteWorkingFiles(); });
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
    Q_EMIT closed();
}

bool Form1::switchIsOn() const
{
    return m_schedule->isOn();
}

void Form1::PushButton2_Click()
{
    m_switch->toggleAction()->trigger();
}

void Form1::PushButton9_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton9_Click"));
    steps.step(100, [&] { m_keyHelp->ShowKeyHelp(false); });
    steps.step(102, [&] { m_scheduler->requestLog(LogQueue::Reason::Asked); });
}

void Form1::PushButton1_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    steps.step(100, [&] { m_kept->clearResults(); });
}

SpreadsheetHandlerCheck &Form1::spreadsheetCheck()
{
    return m_exports->spreadsheetCheck();
}

void Form1::setProgressText(const QString &text)
{
    Frame4->setProgressText(text);
}

QString Form1::progressText() const
{
    return Frame4->progressText();
}
