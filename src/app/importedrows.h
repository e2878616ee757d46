#pragma once

#include "core/importedpoint.h"
#include "core/logtable.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <array>
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
    // table: the record. Its rows are learnt a slice at a time (learn()), and all that are
    // left before a point is taken.
    explicit ImportedRows(const ResultsList &table);
    // Learns the places of up to `more` of the record's rows, from where it stopped; true once
    // it has them all.
    bool learn(int more);
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

    const ResultsList &m_table;
    int m_learnt = 0; // the record's rows before this one are in m_seen

    QString m_originText;
    // The zone of each named zone and country met so far, and whether it was guessed: finding
    // a country's zones goes through every zone there is.
    // The offset found last is kept with the moments it holds between, so that points of a
    // track are placed in their zone without looking through its changes each time.
    struct Zone
    {
        QTimeZone zone;
        bool guessed;
        qint64 fromMs = 0;
        qint64 untilMs = 0;
        int offset = 0;
    };
    static int offsetAt(Zone &zone, const QDateTime &instant);
    QHash<QString, Zone> m_zones;
    // The places of the record's rows and of this import's points, by their second: the first
    // of each second, and the few others of the same second. A million of them cost one
    // allocation per bucket span, not one per place; spread over many tables, so that a table
    // growing moves a small part of them in one turn, not all.
    static constexpr int SeenTables = 64;
    std::array<QHash<qint64, Place>, SeenTables> m_seen;
    QMultiHash<qint64, Place> m_seenToo;
    qint64 m_repeats = 0;
};
