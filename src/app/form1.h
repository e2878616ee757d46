#pragma once

#include "app/apptitle.h"
#include "app/placesactions.h"
#include "core/clock.h"
#include "scheduler/schedulestate.h"

#include <QWidget>
#include <memory>

class CurlFunctions;
class ExportController;
class cSysTray;
class modKeyboard;
class Dialogs;
class KeptResults;
class KeyHelp;
class MachineWatch;
class PointerRule;
class LocationOption;
class LoggingSwitch;
class MapPresence;
class QLabel;
class QPushButton;
class ResultsList;
class ResultsView;
class ScheduleControls;
class ScheduleModel;
class Sharing;
class SpreadsheetHandlerCheck;
class Scheduler;
class StartupOptions;
class StatusFrame;
class TrayPresence;

// The main window: it holds every control, restores the last run's choices at start-up and
// tears everything down when it closes. The work itself is done by the pieces it wires up.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // dialogs: where questions go (the desktop's own when null); clock: the time of day.
    explicit Form1(Dialogs *dialogs = nullptr, Clock clock = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: restores the controls from the settings, prepares the lookup and brings the
    // switch into its stored state.
    void Form_Load();
    // Shutdown: stops the tick, ends a lookup in flight, removes the working files.
    void Form_QueryUnload();

    // Shows the window unless it starts hidden in the tray.
    void showAtStart();
    // The window was minimized: it goes to the tray, or stays in the task bar where the
    // desktop has no tray.
    void Form_Resize();
    // The user clicked the tray icon, or started the program again: the window comes back.
    void restoreFromTray();
    bool HiddenInTray() const;
    // Tests decide whether the desktop has a tray.
    void setTrayAvailable(std::function<bool()> available);
    modKeyboard *keyboard() const { return m_keyboard; }

    void PushButton2_Click(); // the on/off switch
    void PushButton9_Click(); // "Log Now (Test)"
    void PushButton1_Click(); // "Clear Results"

    bool switchIsOn() const;

    ResultsList *results() const { return m_results; }
    KeptResults *keptResults() const { return m_kept; }
    CurlFunctions *lookup() const { return m_lookup; }
    Scheduler *scheduler() const { return m_scheduler; }
    ScheduleModel *schedule() const { return m_schedule; }
    KeyHelp *keyHelp() const { return m_keyHelp.get(); }
    LocationOption *location() const { return m_location; }
    Sharing *sharing() const { return m_sharing; }
    PointerRule *pointerRule() const { return m_pointer; }
    // Whether the desktop opens spreadsheets, asked once the window is up.
    SpreadsheetHandlerCheck &spreadsheetCheck();
    // The map window's keeper: the window itself is made when first shown.
    MapPresence *map() const { return m_places->map(); }
    // The counts the tick works with.
    const ScheduleState &state() const;

    // The progress bar's own text; a percent sign shows as itself.
    void setProgressText(const QString &text);
    QString progressText() const;

Q_SIGNALS:
    // The user closed the window: the program ends. Nothing else ends it, not even the last
    // visible dialog closing while the window waits in the tray.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildLayout();
    // The rest of start-up, once the window is on screen.
    void afterFirstPaint();

    AppTitle m_title;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs;
    Clock m_clock;
    QPushButton *PushButton1;
    QPushButton *PushButton2;
    QPushButton *PushButton4;
    QPushButton *PushButton5;
    QPushButton *PushButton6;
    QPushButton *PushButton7;
    QPushButton *PushButton8;
    QPushButton *PushButton9;
    QLabel *Label4;
    StatusFrame *Frame4;
    ResultsView *ListView1;
    ResultsList *m_results;
    KeptResults *m_kept;
    CurlFunctions *m_lookup;
    ScheduleModel *m_schedule;
    ScheduleControls *m_controls;
    StartupOptions *m_options;
    TrayPresence *m_tray;
    Scheduler *m_scheduler;
    std::unique_ptr<KeyHelp> m_keyHelp;
    PointerRule *m_pointer;
    LoggingSwitch *m_switch;
    bool m_unloaded = false;
    // The kept rows start coming back once the window has been drawn for the first time.
    // The window was drawn once; what comes after it has started.
    bool m_drawn = false;
    bool m_started = false;
    static constexpr int FirstPaintWaitMs = 500;
    modKeyboard *m_keyboard;
    MachineWatch *m_machine;
    LocationOption *m_location;
    ExportController *m_exports;
    PlacesActions *m_places;
    Sharing *m_sharing;
};
