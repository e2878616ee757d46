#include "app/form1.h"

#include "app/desktopdialogs.h"
#include "app/exportcontroller.h"
#include "app/form1parts.h"
#include "app/hotkeycaption.h"
#include "app/importaction.h"
#include "app/keyhelp.h"
#include "app/loggingswitch.h"
#include "app/look.h"
#include "app/machinewatch.h"
#include "app/placesactions.h"
#include "app/reportsteps.h"
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
#include "results/exportfiles.h"
#include "results/keptresults.h"
#include "scheduler/schedulemodel.h"
#include "scheduler/scheduler.h"
#include "scheduler/schedulerules.h"
#include "scheduler/storedschedulesettings.h"
#include "settings/settingsstore.h"
#include "settings/storedstartupsettings.h"

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
    useOwnDialogsIfNone();
    setObjectName(QStringLiteral("Form1"));
    // Set before the controls exist, so that each is made in it rather than told of a change
    // one by one.
    ApplyDesignedLook(this);
    m_parts = std::make_unique<Form1Parts>(this, m_dialogs, m_clock);
    wireButtons();
    wirePointer();
    wireParts();
    wireStatus();
    layOut();
    orderFocus();
}

Form1::~Form1()
{
    Form_QueryUnload();
}

void Form1::useOwnDialogsIfNone()
{
    if (m_dialogs)
        return;
    m_ownDialogs = std::make_unique<DesktopDialogs>(this, &m_title);
    m_dialogs = m_ownDialogs.get();
}

void Form1::wireButtons()
{
    Form1Parts &p = *m_parts;
    connect(p.PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(p.PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    // The exports' handlers (PushButton4_Click to PushButton6_Click) live with the exports.
    connect(p.PushButton4, &QPushButton::clicked, p.exports, &ExportController::saveTextFile);
    connect(p.PushButton5, &QPushButton::clicked, p.exports, &ExportController::copyToClipboard);
    connect(p.PushButton6, &QPushButton::clicked, p.exports, &ExportController::openSpreadsheet);
    KeyHelp *help = p.keyHelp.get();
    connect(p.PushButton8, &QPushButton::clicked, this, [help] { help->PushButton8_Click(); });
    connect(p.PushButton7, &QPushButton::clicked, this, [help] { help->PushButton7_Click(); });
}

// The hand shows over every button; the arrow comes back over the schedule, the options, the
// status and the results.
void Form1::wirePointer()
{
    Form1Parts &p = *m_parts;
    for (QWidget *b :
         {p.PushButton1, p.PushButton2, p.PushButton4, p.PushButton5, p.PushButton6, p.PushButton7,
          p.PushButton8, p.PushButton9, p.places->saveAs(), p.places->showMap(),
          p.places->countries(), p.importer->button(), p.sharing->button()})
        p.pointer->addButton(b);
    for (QWidget *area :
         QList<QWidget *> {p.controls, p.options, p.Frame4, p.ListView1, p.ListView1->viewport()}
             + p.controls->resettingAreas())
        p.pointer->addResettingArea(area);
}

void Form1::wireParts()
{
    Form1Parts &p = *m_parts;
    connect(p.keyboard, &modKeyboard::triggerChanged,
            new HotkeyCaption(p.Label4, m_dialogs, *p.settings, this), &HotkeyCaption::showTrigger);
    connect(p.options, &StartupOptions::keepResultsChanged, p.sharing, &Sharing::setKeeping);
    connect(p.sharing, &Sharing::waitingChanged, p.tray, &TrayPresence::showWaitingToShare);
    connect(p.sharing, &Sharing::secretLocked, p.tray, &TrayPresence::showSecretLocked);
    // The server's request takes the way of "Log Now (Test)", logging on or off.
    connect(p.sharing, &Sharing::positionAsked, this, [&p] {
        p.lookup->serverAsksNext();
        p.scheduler->requestLog(LogQueue::Reason::Asked);
    });
    // The tick decides a box's fallback; the schedule takes it as typed, and saves it.
    connect(p.scheduler, &Scheduler::intervalFallback, p.schedule, &ScheduleModel::setIntervalText);
    connect(p.lookup, &CurlFunctions::logFinished, p.ListView1, &ResultsView::showRow);
    // The tray icon's tip names the last failed log until a log succeeds, so that a user who
    // keeps the window hidden learns of a refused key or a rate limit.
    connect(p.lookup, &CurlFunctions::lookupOutcome, p.tray, &TrayPresence::showLastFailure);
}

void Form1::wireStatus()
{
    Form1Parts &p = *m_parts;
    connect(p.lookup, &CurlFunctions::progressText, p.Frame4, &StatusFrame::setProgressText);
    connect(p.scheduler, &Scheduler::countdown, p.Frame4, &StatusFrame::showNextLog);
    p.Frame4->showProgressOf(p.scheduler);
    p.Frame4->showProgressOf(p.exports);
    connect(p.exports, &ExportController::progressText, p.Frame4, &StatusFrame::setProgressText);
}

void Form1::layOut()
{
    Form1Parts &p = *m_parts;
    auto *switchRow = new QHBoxLayout;
    switchRow->addWidget(p.PushButton2);
    switchRow->addWidget(p.Label4, 1);
    switchRow->addWidget(p.PushButton9);

    auto *buttons = new QGridLayout;
    buttons->addWidget(p.PushButton1, 0, 0);
    buttons->addWidget(p.PushButton4, 0, 1);
    buttons->addWidget(p.places->saveAs(), 0, 2);
    buttons->addWidget(p.PushButton5, 1, 0);
    buttons->addWidget(p.PushButton6, 1, 1);
    buttons->addWidget(p.places->showMap(), 1, 2);
    buttons->addWidget(p.PushButton8, 2, 0);
    buttons->addWidget(p.PushButton7, 2, 1);
    buttons->addWidget(p.places->countries(), 2, 2);
    buttons->addWidget(p.importer->button(), 3, 1);
    buttons->addWidget(p.sharing->button(), 3, 2);

    auto *left = new QVBoxLayout;
    left->addWidget(p.controls);
    left->addLayout(switchRow);
    left->addWidget(p.Frame4);
    left->addLayout(buttons);
    left->addWidget(p.options);
    left->addStretch(1);

    auto *main = new QHBoxLayout(this);
    main->addLayout(left, 0);
    main->addWidget(p.ListView1, 1);
    // 15960 x 5715 twips at 96 dots per inch.
    resize(1064, 381);
}

// The keyboard follows the layout: schedule, switch, status, results actions, key, start-up
// options, and last the results list.
void Form1::orderFocus()
{
    Form1Parts &p = *m_parts;
    QList<QWidget *> order = p.controls->focusOrder();
    order << p.PushButton2 << p.PushButton9 << p.PushButton1 << p.PushButton4 << p.places->saveAs()
          << p.PushButton5 << p.PushButton6 << p.places->showMap() << p.PushButton8 << p.PushButton7
          << p.places->countries() << p.importer->button() << p.sharing->button()
          << p.options->focusOrder() << p.ListView1;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Form1::Form_Load()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    // One reading of the settings for all of start-up.
    const Settings::Snapshot settings(*m_parts->settings);
    showLook(steps);
    restoreSchedule(steps, settings);
    prepareLookup(steps);
    restoreOptions(steps, settings);
    m_parts->sharing->restore(steps, settings);
    offerStartMinimized(steps);
    steps.step(FormLoadStep::Restored, [&] { m_parts->options->setRestoring(false); });
    waitForFirstPaint();
}

void Form1::showLook(StepRunner &steps)
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    steps.step(FormLoadStep::Skin, [&] { ApplySkin(this, programFolder); });
    steps.step(FormLoadStep::Restoring, [&] { m_parts->options->setRestoring(true); });
    steps.step(FormLoadStep::Title, [&] {
        // The icon follows with the tray icon, once the window is on screen: drawing it is
        // the slowest part of this step.
        setWindowTitle(QString::fromLatin1(ProductName));
        m_title.set();
    });
    const QString cursorFile = programFolder + QStringLiteral("/HAND-M.CUR");
    if (QFile::exists(cursorFile)) {
        steps.step(FormLoadStep::Pointer, [&] {
            const QPixmap image(cursorFile);
            if (image.isNull())
                throw Failure(QStringLiteral("The pointer %1 cannot be read.").arg(cursorFile));
            m_parts->pointer->setCustomCursor(QCursor(image, 0, 0));
        });
    }
}

void Form1::restoreSchedule(StepRunner &steps, const Settings::Snapshot &settings)
{
    // Each key's report line, in the order the keys are read.
    static constexpr FormLoadStep Lines[] = {
        FormLoadStep::Option1,    FormLoadStep::Option2, FormLoadStep::Option3,
        FormLoadStep::WeeklyTime, FormLoadStep::Weekly,  FormLoadStep::Text1,
        FormLoadStep::Text2,      FormLoadStep::Text3,
    };
    const std::span<const StoredScheduleSettings::Field> fields = StoredScheduleSettings::fields();
    Q_ASSERT(fields.size() == std::size(Lines));
    // A time never stored is the time of day; every other key has a default of its own.
    const QString now = ScheduleRules::WeeklyTimeText(m_clock().time());
    for (size_t i = 0; i < fields.size(); ++i) {
        const auto restore = [&, i](const QString &text) {
            m_parts->schedule->restore(fields[i], text);
        };
        RestoreAll(steps, settings, {{fields[i].key, Lines[i], restore, now}});
    }
}

void Form1::prepareLookup(StepRunner &steps)
{
    steps.step(FormLoadStep::ColumnWidths, [&] { m_parts->ListView1->setFirstColumnWidths(); });
    steps.step(FormLoadStep::WorkingFiles, [&] { m_parts->lookup->ExtractWorkingFiles(); });
    // Spreadsheets handed to the user's application a day ago or more have served.
    Spreadsheet::RemoveOldExports(m_clock());
}

void Form1::restoreOptions(StepRunner &steps, const Settings::Snapshot &settings)
{
    StartupSettings stored;
    // A start-up option's box, ticked as its field reads.
    const auto box = [&stored, options = m_parts->options](bool StartupSettings::*field,
                                                           void (StartupOptions::*tick)(bool)) {
        return [&stored, options, field, tick] {
            (options->*tick)(stored.*field);
        };
    };
    // Each key's report line and where its value goes, in the order the keys are read.
    const std::pair<FormLoadStep, std::function<void()>> shows[] = {
        {FormLoadStep::SwitchState,
         [&] {
             m_parts->loggingSwitch->restore(stored.switchState);
         }},
        {FormLoadStep::SessionStart,
         box(&StartupSettings::sessionStart, &StartupOptions::restoreStartup)},
        {FormLoadStep::Minimized,
         box(&StartupSettings::minimized, &StartupOptions::restoreMinimized)},
        {FormLoadStep::NetworkChange,
         box(&StartupSettings::networkChange, &StartupOptions::restoreNetworkChange)},
        {FormLoadStep::KeepResults,
         box(&StartupSettings::keepResults, &StartupOptions::restoreKeepResults)},
        {FormLoadStep::LocationService,
         box(&StartupSettings::locationService, &StartupOptions::restoreLocationService)},
    };
    RestoreFields(steps, settings, StoredStartupSettings::fields(), stored, std::span(shows));
}

void Form1::offerStartMinimized(StepRunner &steps)
{
    if (m_parts->options->startsWithSession()) {
        steps.step(FormLoadStep::OfferMinimized, [&] { m_parts->options->offerMinimized(true); });
        if (m_parts->options->startsMinimized())
            // The window goes straight to the tray once start-up is over; it is never shown.
            steps.step(FormLoadStep::StartHidden, [&] { m_parts->tray->setStartHidden(true); });
    } else {
        steps.step(FormLoadStep::NoMinimizedOffer,
                   [&] { m_parts->options->offerMinimized(false); });
    }
}

void Form1::waitForFirstPaint()
{
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
    steps.step(FormLoadStep::TrayIcon, [&] {
        m_parts->tray->createIcon();
        setWindowIcon(QIcon(QStringLiteral(":/trovanel.svg")));
    });
    steps.step(FormLoadStep::PutInTray, [&] { m_parts->tray->putInTray(); });
    // Without a way to listen (no X11 display, no RECORD extension) the program goes on
    // without the hotkey.
    steps.step(FormLoadStep::Hotkey, [&] { m_parts->keyboard->HookKeyboard(); });
    // Answered in the background, before the user asks for a sheet.
    m_parts->exports->spreadsheetCheck().check();
    m_parts->tray->startWaiting();
    m_parts->machine->start();
    m_parts->kept->start(m_parts->options->keepsResults());
    m_parts->sharing->start(m_parts->machine->network());
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
    m_parts->tray->showAtStart();
}

void Form1::Form_Resize()
{
    m_parts->tray->windowMinimized();
}

void Form1::restoreFromTray()
{
    m_parts->tray->restore();
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
    m_parts->tray->close();
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    steps.step(UnloadStep::UnhookKeyboard, [&] { m_parts->keyboard->UnhookKeyboard(); });
    steps.step(UnloadStep::StopTimer, [&] { m_parts->scheduler->stopTimer(); });
    steps.step(UnloadStep::RemoveIcon, [&] { m_parts->tray->removeIcon(); });
    // A lookup in flight is ended before its working files go; it adds no row.
    steps.step(UnloadStep::AbortLogs, [&] { m_parts->scheduler->abortLogs(); });
    steps.step(UnloadStep::DeleteWorkingFiles, [&] { m_parts->lookup->DeleteWorkingFiles(); });
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_QueryUnload();
    event->accept();
    Q_EMIT closed();
}

void Form1::PushButton2_Click()
{
    m_parts->loggingSwitch->toggleAction()->trigger();
}

void Form1::PushButton9_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton9_Click"));
    steps.step(LogNowStep::KeyOffer, [&] { m_parts->keyHelp->ShowKeyHelp(false); });
    steps.step(LogNowStep::Log, [&] { m_parts->scheduler->requestLog(LogQueue::Reason::Asked); });
}

void Form1::PushButton1_Click()
{
    StepRunner steps(QStringLiteral("Form1"), QStringLiteral("PushButton1_Click"));
    steps.step(ClearStep::Clear, [&] { m_parts->kept->clearResults(); });
}
