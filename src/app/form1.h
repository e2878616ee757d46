#pragma once

#include "results/spreadsheethandlercheck.h"
#include "scheduler/schedulestate.h"

#include <QElapsedTimer>
#include <QWidget>
#include <memory>

class ClipboardText;
class CurlFunctions;
class SpacedTextSave;
class SpreadsheetExport;
class cSysTray;
class modKeyboard;
class Dialogs;
class KeyHelp;
class PointerRule;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class ResultsList;
class ScheduleControls;
class Scheduler;

// The main window: it holds every control, restores the last run's choices at start-up and
// tears everything down when it closes. The work itself is done by the pieces it wires up.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // dialogs: where questions go (the desktop's own when null); clock: the time of day.
    explicit Form1(Dialogs *dialogs = nullptr, Clock clock = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // The designed look's font: Arial 9 point bold, or what the desktop offers in its place.
    static QFont designedFont();

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
    bool HiddenInTray() const { return m_hiddenInTray; }
    // Tests decide whether the desktop has a tray.
    void setTrayAvailable(std::function<bool()> available)
    {
        m_trayAvailable = std::move(available);
    }
    modKeyboard *keyboard() const { return m_keyboard; }

    void PushButton2_Click(); // the on/off switch
    void PushButton9_Click(); // "Log Now (Test)"
    void PushButton1_Click(); // "Clear Results"
    void PushButton4_Click(); // "Save Results As Text File"
    void PushButton5_Click(); // "Copy Results To Clipboard"
    void PushButton6_Click(); // "Save Results As Excel File"

    bool switchIsOn() const;
    bool formLoading() const { return m_formLoading; }

    ResultsList *results() const { return m_results; }
    CurlFunctions *lookup() const { return m_lookup; }
    Scheduler *scheduler() const { return m_scheduler; }
    ScheduleControls *scheduleControls() const { return m_controls; }
    KeyHelp *keyHelp() const { return m_keyHelp.get(); }
    PointerRule *pointerRule() const { return m_pointer; }
    // Whether the desktop opens spreadsheets, asked once the window is up.
    SpreadsheetHandlerCheck &spreadsheetCheck() { return m_spreadsheetCheck; }
    ScheduleState &state() { return m_state; }

    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *PushButton4 = nullptr;
    QPushButton *PushButton5 = nullptr;
    QPushButton *PushButton6 = nullptr;
    QPushButton *PushButton7 = nullptr;
    QPushButton *PushButton8 = nullptr;
    QPushButton *PushButton9 = nullptr;
    QLabel *Label4 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QTableView *ListView1 = nullptr;
    QCheckBox *Check4 = nullptr;
    QCheckBox *Check8 = nullptr;
    cSysTray *cSysTray1 = nullptr; // in the tray from the end of start-up

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

private:
    void buildLayout();
    void setProgressMaximum(int maximum);
    void setProgressValue(int value);
    void Check4_Click();
    void Check8_Click();
    bool trayAvailable() const;
    bool wantsTray() const;
    void sendToTray();
    // The rest of "Save Results As Excel File", once it is known whether the desktop can open
    // the sheet.
    void exportSpreadsheet(bool installed);

    static constexpr int TrayWaitMs = 5000;

    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs;
    Clock m_clock;
    ScheduleState m_state;
    ResultsList *m_results;
    CurlFunctions *m_lookup;
    ScheduleControls *m_controls;
    Scheduler *m_scheduler;
    std::unique_ptr<KeyHelp> m_keyHelp;
    PointerRule *m_pointer;
    QString m_savedSwitchCaption; // the caption the switch returns to when turned off
    bool m_formLoading = false;
    bool m_unloaded = false;
    bool m_hiddenInTray = false;
    bool m_startHidden = false;
    bool m_noTrayTold = false;
    bool m_switching = false;
    QElapsedTimer m_trayWait; // since start-up: how long a missing tray is waited for
    std::function<bool()> m_trayAvailable;
    modKeyboard *m_keyboard;
    SpacedTextSave *m_save = nullptr;
    ClipboardText *m_copy = nullptr;
    SpreadsheetExport *m_sheet = nullptr;
    SpreadsheetHandlerCheck m_spreadsheetCheck;
    bool m_sheetAwaitsCheck = false; // a click waits for the desktop's answer
};
