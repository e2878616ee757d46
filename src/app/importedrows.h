#pragma once

#include "core/importedpoint.h"
#include "core/logtable.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <optional>

class ResultsList;

// Points brought back (from a file, from the user's server) made into logs like the laptop's
// own: each point's country, where the source names none, from the built-in outlines; its time
// zone; its Time cell as a log made there and then shows it; and where it came from. A point at
// the same second as a row of the record, or an earlier point of the same import, and within a
// metre of either fix of it, is that log again: it is counted, never added twice.
class ImportedRows
{
public:
    // table: the record as it stands.
    explicit ImportedRows(const ResultsList &table);
    // What the rows made from now on say they came from ("trip.gpx").
    void setOrigin(const QString &origin);

    // The point as a log, or none when the record holds it already.
    std::optional<LogRecord> take(const ImportedPoint &point);

    // "Imported from trip.gpx": the Time cell's description of every row this import makes.
    QString originText() const { return m_originText; }
    qint64 repeats() const { return m_repeats; }

    // The time zone a point's log keeps: the one its source names, else the only zone of its
    // country, else the system's; guessed is set when it is not the source's own.
    static QTimeZone zoneFor(const QString &named, const QString &country, bool *guessed);

private:
    struct Place
    {
        qint32 latitudeE7;
        qint32 longitudeE7;
    };
    void remember(qint64 second, double latitude, double longitude);
    bool known(qint64 second, double latitude, double longitude) const;

    QString m_originText;
    // The zone of each named zone and country met so far, and whether it was guessed: finding
    // a country's zones goes through every zone there is.
    struct Zone
    {
        QTimeZone zone;
        bool guessed;
    };
    QHash<QString, Zone> m_zones;
    // The places of the record's rows and of this import's points, by their second.
    QMultiHash<qint64, Place> m_seen;
    qint64 m_repeats = 0;
};
