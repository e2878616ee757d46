#pragma once

#include "core/errorreport.h"

#include <array>

// The report lines of the window's procedures. The user reads them in a report box and quotes
// them to support, so a number never changes once given; a new step takes a number of its own
// in its procedure's list. Each list is written once, as step names with their lines: the enum
// and the build's check that no line is given twice are both made from it, so no step escapes
// the check.
#define REPORT_STEP_NAME(name, line) name = line,
#define REPORT_STEP_LINE(name, line) line,
#define REPORT_STEPS(Steps, LIST)                                                                  \
    enum class Steps { LIST(REPORT_STEP_NAME) };                                                   \
    static_assert(ErrorReport::distinctLines(std::array {LIST(REPORT_STEP_LINE)}),                 \
                  #Steps " gives a report line to two steps");

// The window's start-up: the window itself, the restored choices (their rows in the restore
// tables carry these lines), the switch brought into its stored state, and the tray and the
// hotkey once the window is drawn.
#define FORM_LOAD_STEPS(STEP)                                                                      \
    STEP(Skin, 100)                                                                                \
    STEP(Restoring, 102)                                                                           \
    STEP(Title, 106)                                                                               \
    STEP(Pointer, 110)                                                                             \
    STEP(Option1, 132)                                                                             \
    STEP(Option2, 134)                                                                             \
    STEP(Option3, 136)                                                                             \
    STEP(WeeklyTime, 138)                                                                          \
    STEP(Weekly, 140)                                                                              \
    STEP(Text1, 142)                                                                               \
    STEP(Text2, 144)                                                                               \
    STEP(Text3, 146)                                                                               \
    STEP(ColumnWidths, 162)                                                                        \
    STEP(WorkingFiles, 176)                                                                        \
    STEP(SwitchState, 178)                                                                         \
    STEP(OffStopTimer, 182)                                                                        \
    STEP(OffStatus, 186)                                                                           \
    STEP(OffPointer, 188)                                                                          \
    STEP(OffProgress, 190)                                                                         \
    STEP(OffProgressText, 192)                                                                     \
    STEP(OffSwitch, 194)                                                                           \
    STEP(OnSwitch, 200)                                                                            \
    STEP(OnSpan, 204)                                                                              \
    STEP(OnTick, 206)                                                                              \
    STEP(SessionStart, 210)                                                                        \
    STEP(Minimized, 212)                                                                           \
    STEP(OfferMinimized, 216)                                                                      \
    STEP(StartHidden, 220)                                                                         \
    STEP(NoMinimizedOffer, 222)                                                                    \
    STEP(Restored, 224)                                                                            \
    STEP(TrayIcon, 226)                                                                            \
    STEP(PutInTray, 228)                                                                           \
    STEP(Hotkey, 230)                                                                              \
    STEP(NetworkChange, 232)                                                                       \
    STEP(KeepResults, 234)                                                                         \
    STEP(LocationService, 236)                                                                     \
    STEP(Share, 238)                                                                               \
    STEP(ShareUrl, 240)                                                                            \
    STEP(ShareAuth, 242)                                                                           \
    STEP(ShareUser, 244)                                                                           \
    STEP(ShareDevice, 246)                                                                         \
    STEP(ShareHost, 248)                                                                           \
    STEP(SharePort, 250)                                                                           \
    STEP(ShareTls, 252)                                                                            \
    STEP(ShareCaFile, 254)                                                                         \
    STEP(ShareTopic, 256)                                                                          \
    STEP(ShareClientId, 258)                                                                       \
    STEP(ShareTopicInBody, 260)                                                                    \
    STEP(ShareCommands, 262)
REPORT_STEPS(FormLoadStep, FORM_LOAD_STEPS)
#undef FORM_LOAD_STEPS

// The window's shutdown, listed in the order the steps run: ending a lookup in flight came
// later than removing the working files in the numbering, but runs before it.
#define UNLOAD_STEPS(STEP)                                                                         \
    STEP(UnhookKeyboard, 100)                                                                      \
    STEP(StopTimer, 102)                                                                           \
    STEP(RemoveIcon, 104)                                                                          \
    STEP(AbortLogs, 114)                                                                           \
    STEP(DeleteWorkingFiles, 108)
REPORT_STEPS(UnloadStep, UNLOAD_STEPS)
#undef UNLOAD_STEPS

// The on/off switch.
#define SWITCH_STEPS(STEP)                                                                         \
    STEP(KeyOffer, 100)                                                                            \
    STEP(Minimize, 104)                                                                            \
    STEP(On, 106)                                                                                  \
    STEP(Span, 108)                                                                                \
    STEP(Tick, 110)                                                                                \
    STEP(SaveOn, 112)                                                                              \
    STEP(StopTimer, 114)                                                                           \
    STEP(Status, 116)                                                                              \
    STEP(Pointer, 118)                                                                             \
    STEP(Progress, 120)                                                                            \
    STEP(Off, 122)                                                                                 \
    STEP(SaveOff, 124)
REPORT_STEPS(SwitchStep, SWITCH_STEPS)
#undef SWITCH_STEPS

// "Log Now (Test)".
#define LOG_NOW_STEPS(STEP)                                                                        \
    STEP(KeyOffer, 100)                                                                            \
    STEP(Log, 102)
REPORT_STEPS(LogNowStep, LOG_NOW_STEPS)
#undef LOG_NOW_STEPS

// "Clear Results".
#define CLEAR_STEPS(STEP) STEP(Clear, 100)
REPORT_STEPS(ClearStep, CLEAR_STEPS)
#undef CLEAR_STEPS

#undef REPORT_STEPS
#undef REPORT_STEP_LINE
#undef REPORT_STEP_NAME
