#pragma once

#include "core/clock.h"

#include <memory>

class CurlFunctions;
class Dialogs;
class ExportController;
class ImportAction;
class KeptResults;
class KeyHelp;
class LocationOption;
class LoggingSwitch;
class MachineWatch;
class modKeyboard;
namespace Settings {
class Store;
}
class PlacesActions;
class PointerRule;
class QLabel;
class QPushButton;
class QWidget;
class ResultsList;
class ResultsView;
class RowCorrections;
class RowMenu;
class ScheduleControls;
class ScheduleModel;
class Scheduler;
class Sharing;
class StartupOptions;
class StatusFrame;
class TrayPresence;

// Everything the main window is made of, each part made in the window and handed the parts it
// works with. The window wires the parts to each other and lays them out; whoever holds the
// window reaches a part here rather than through the window.
struct Form1Parts
{
    Form1Parts(QWidget *window, Dialogs *dialogs, const Clock &clock);
    ~Form1Parts();
    Form1Parts(const Form1Parts &) = delete;
    Form1Parts &operator=(const Form1Parts &) = delete;

    // The settings file, handed to each part that reads or writes a setting.
    Settings::Store *settings;
    QPushButton *PushButton1; // "Clear Results"
    QPushButton *PushButton2; // the on/off switch
    QPushButton *PushButton4; // "Save Results As Text File"
    QPushButton *PushButton5; // "Copy Results To Clipboard"
    QPushButton *PushButton6; // "Save Results As Excel File"
    QPushButton *PushButton7; // "Help / How Do I Get An API Key?"
    QPushButton *PushButton8; // "Enter Your API Key"
    QPushButton *PushButton9; // "Log Now (Test)"
    QLabel *Label4; // the hotkey's caption
    StatusFrame *Frame4;
    ResultsList *results;
    ResultsView *ListView1;
    KeptResults *kept;
    RowCorrections *corrections;
    RowMenu *rowMenu;
    Sharing *sharing;
    CurlFunctions *lookup;
    ScheduleModel *schedule;
    ScheduleControls *controls;
    StartupOptions *options;
    TrayPresence *tray;
    Scheduler *scheduler;
    MachineWatch *machine;
    LocationOption *location;
    std::unique_ptr<KeyHelp> keyHelp;
    PointerRule *pointer;
    ExportController *exports;
    PlacesActions *places;
    ImportAction *importer;
    LoggingSwitch *loggingSwitch;
    modKeyboard *keyboard;

private:
    void makeButtons(QWidget *window);
    void makeLookup(QWidget *window, Dialogs *dialogs, const Clock &clock);
    void makeSchedule(QWidget *window, Dialogs *dialogs, const Clock &clock);
    void makeActions(QWidget *window, Dialogs *dialogs, const Clock &clock);
    void makeCorrections(QWidget *window, Dialogs *dialogs, const Clock &clock);
};
