#pragma once

#include "app/apptitle.h"
#include "core/clock.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class Dialogs;
struct Form1Parts;
class StepRunner;
namespace Settings {
class Snapshot;
}

// The main window: it makes its parts, wires them and lays them out, restores the last run's
// choices at start-up and tears everything down when it closes. The work itself is done by the
// parts.
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

    void PushButton2_Click(); // the on/off switch
    void PushButton9_Click(); // "Log Now (Test)"
    void PushButton1_Click(); // "Clear Results"

    // What the window is made of.
    Form1Parts &parts() const { return *m_parts; }
Q_SIGNALS:
    // The user closed the window: the program ends. Nothing else ends it, not even the last
    // visible dialog closing while the window waits in the tray.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void useOwnDialogsIfNone();
    void wireButtons();
    void wirePointer();
    void wireParts();
    void wireStatus();
    void layOut();
    void orderFocus();
    // Start-up's steps, in their order.
    void showLook(StepRunner &steps);
    void restoreSchedule(StepRunner &steps, const Settings::Snapshot &settings);
    void prepareLookup(StepRunner &steps);
    void restoreOptions(StepRunner &steps, const Settings::Snapshot &settings);
    void offerStartMinimized(StepRunner &steps);
    void waitForFirstPaint();
    // The rest of start-up, once the window is on screen.
    void afterFirstPaint();

    AppTitle m_title;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs *m_dialogs;
    Clock m_clock;
    std::unique_ptr<Form1Parts> m_parts;
    bool m_unloaded = false;
    // The kept rows start coming back once the window has been drawn for the first time.
    // The window was drawn once; what comes after it has started.
    bool m_drawn = false;
    bool m_started = false;
    static constexpr int FirstPaintWaitMs = 500;
};
