#pragma once

#include "core/clock.h"
#include "core/errorreport.h"
#include "scheduler/storedschedulesettings.h"

#include <QObject>
#include <QStringList>
#include <QTime>
#include <array>

// The user's schedule: the mode, the interval's hours, minutes and seconds as typed, the
// weekday, the time of day, and whether logging is switched on. Each choice is saved under its
// own key the moment it is made; a save that fails is reported under the control the user
// changed, at the place the window names for it. The window's controls show it and change it;
// the scheduler reads it.
class ScheduleModel : public QObject
{
    Q_OBJECT

public:
    using Mode = ScheduleSettings::Mode;
    using Part = ScheduleSettings::Part;

    // Where a failure of each choice is reported: the window names the control it is made in.
    struct Places
    {
        ErrorReport::Place weekly;
        ErrorReport::Place daily;
        ErrorReport::Place interval;
        // Hours, minutes, seconds.
        std::array<ErrorReport::Place, 3> intervalBoxes;
        ErrorReport::Place day;
        ErrorReport::Place time;

        // The place of a mode's choice; no mode at all is reported as the interval's.
        const ErrorReport::Place &mode(Mode mode) const;
    };

    // clock: the time of day the time picker starts from; store: where each choice is saved.
    ScheduleModel(const Clock &clock, Settings::Store &store, Places places,
                  QObject *parent = nullptr);

    // "Sunday" to "Saturday", the only days a weekly log can name.
    static const QStringList &days();

    Mode mode() const { return m_chosen.mode; }
    QString intervalText(Part part) const { return m_chosen.interval[size_t(part)]; }
    // The weekday as chosen or stored, empty until then; only one of days() ever matches.
    QString day() const { return m_chosen.day; }
    QTime time() const { return m_chosen.time; }
    bool isOn() const { return m_on; }
    const Places &places() const { return m_places; }

    // Choosing the interval mode again restarts its count, so that choice is told even when the
    // mode stays; choosing the weekly or daily mode again changes nothing.
    void setMode(Mode mode);
    void setIntervalText(Part part, const QString &text);
    // A text that is not one of days() is kept and saved as it is, and never matches: the
    // user sees what the store holds rather than another day.
    void setDay(const QString &day);
    void setTime(QTime time);

    // The switch; saveSwitch stores it, raising a Failure when the store refuses.
    void setOn(bool on);
    void saveSwitch() const;

    // Start-up: applies the stored text of one of the schedule's keys as the user's choice of it
    // would be, and so saves it back. A truth or time text that cannot be read raises a Failure
    // and changes nothing.
    void restore(const StoredScheduleSettings::Field &field, const QString &text);

Q_SIGNALS:
    // A mode was chosen (see setMode); modeChanged follows when it is a new one.
    void modeChosen(ScheduleModel::Mode mode);
    void modeChanged(ScheduleModel::Mode mode);
    void intervalTextChanged(ScheduleModel::Part part, const QString &text);
    void dayChanged(const QString &day);
    void timeChanged(QTime time);
    // The mode, the weekday or the time changed: a new schedule.
    void scheduleChanged();
    void switchChanged(bool on);
    // Anything above changed.
    void changed();

private:
    // Stores the keys of a choice as it was made, whatever a listener chose meanwhile.
    void save(const ScheduleSettings &chosen, const SettingKeys::Key &key) const;

    Settings::Store &m_store;
    Places m_places;
    // Nothing is chosen until the user or start-up chooses it.
    ScheduleSettings m_chosen {.mode = Mode::None, .interval = {}, .day = {}, .time = {}};
    bool m_on = false;
};
