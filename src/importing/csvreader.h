#pragma once

#include "importing/pointreader.h"

#include <QByteArrayList>

// CSV whose first line names its columns: a latitude (lat, latitude), a longitude (lon, lng,
// long, longitude) and a time (time, timestamp, datetime, date, tst; ISO 8601 or seconds since
// 1970, a time of day joined to a separate date column), with the names in any case; and, where
// there are such columns, the country, region, city, postal code, time zone and accuracy. The
// program's own export with coordinates is such a file. Fields in quotes may hold commas, quotes
// and line breaks; the separator is the comma, or the semicolon or tab the header uses instead.
class CsvReader : public PointReader
{
public:
    explicit CsvReader(const QString &path);

protected:
    bool readSome(QList<ImportedPoint> &out, int max) override;

private:
    // The next record's fields; false at the end of the file. m_recordLine is where it began.
    bool readRecord(QByteArrayList &fields);
    void readHeader();

    enum Column { Latitude, Longitude, Time, Date, Country, Region, City, Postal, Zone, Accuracy };
    static constexpr int Columns = Accuracy + 1;

    int m_columns[Columns];
    char m_separator = ',';
    bool m_started = false;
    qint64 m_line = 0; // lines read so far
    qint64 m_recordLine = 0;
    QByteArrayList m_fields;
};
