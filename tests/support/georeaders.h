#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What the real readers of map files (gpsbabel, GDAL's ogr2ogr) make of a file, as the tests
// compare it with the rows that were written.

// RFC 4180 records, as the readers print them.
QList<QStringList> ParseCsv(const QByteArray &bytes);
// The CSV that `tool arguments` prints, as records keyed by its header's names; ran is false
// when the tool is missing or fails (its complaint goes to the test's log). Run with TZ=UTC.
QList<QHash<QString, QString>> ReadWith(const QString &tool, const QStringList &arguments,
                                        bool *ran);
// GDAL's "2026/12/11 09:16:31.250+0530" (or "+05", "+00") as an instant with that offset.
QDateTime GdalTime(const QString &text);
// gpsbabel's unicsv Date and Time columns, in UTC.
QDateTime BabelTime(const QHash<QString, QString> &row);
