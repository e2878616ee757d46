#pragma once

#include "core/fix.h"
#include "core/logid.h"
#include "core/rowfixes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <string_view>

// Who asked for a log: the schedule (or the machine waking, or the network changing), the user
// ("Log Now (Test)"), or the user's location server.
enum class Asker { Schedule, User, Server };

// One log as a whole: what its row shows, and what the kept history holds besides.
struct LogRecord
{
    LogId id; // given as the log starts
    QString timeText; // as the Time cell shows it
    QDateTime instant; // when the log was made, with the local offset of that moment
    std::array<QString, 6> cells; // Country to Timezone, in column order
    QString failure; // why the log found no location; empty for a good row
    int httpStatus = 0; // the service's status, 0 when there was none
    QByteArray answer; // the service's answer as it came, at most a lookup's bound
    // The accuracy radius the answer gives its place, in metres; 0 when it gives none, and
    // Fixes::AddressEstimateMetres stands for it.
    double addressAccuracyMetres = 0;
    // The desktop's location service's fix, when it came in time.
    std::optional<Fix> wifi;
    // Why the row's place is doubtful, for the user; empty when nothing says it is.
    QString mark;
    // Where a log brought back from a file or a server came from ("Imported from trip.gpx"),
    // for the user; empty for the laptop's own logs. Such a log is never shared again.
    QString origin;
    Asker askedBy = Asker::Schedule;
    // The user's corrections: the fix chosen as the row's place, and the row left out of the
    // days per country. The cells stay as the service gave them.
    FixChoice chosen = FixChoice::Surer;
    bool leftOut = false;
};

// Where a log's row went: its row number, or -1 when the row does not show (yet), and the
// name of its log, which holds wherever the row later moves.
struct AppendedRow
{
    int row = -1;
    LogId log;
};

// Where a log puts what it found: one row a log, its time first and then the six values the
// service told. The results list is one; the lookup knows it only by this.
class LogTable
{
public:
    static constexpr int ColumnCount = 7;
    enum Column { Time, Country, Region, City, PostalCode, Coordinates, Timezone };
    // The columns' captions, as the table and every export head them.
    static constexpr std::u16string_view Captions[ColumnCount] = {
        u"Time", u"Country", u"Region", u"City", u"Postal Code", u"Coordinates", u"Timezone",
    };

    virtual ~LogTable() = default;

    // Appends a complete row at once, unticked; says where it went and under which log (the
    // kept results name a record that names none).
    virtual AppendedRow appendRecord(const LogRecord &record) = 0;
    // The location service's fix came after the row was added: it joins the log's row, if that
    // is still there. Returns whether it joined.
    virtual bool joinWiFiFix(LogId log, const Fix &fix) = 0;
};
