#pragma once

#include "core/importedpoint.h"

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// What one answer of the server holds: its location points, read as the server gives them.
struct RestorePage
{
    QList<ImportedPoint> points; // those with a time and a place on the globe
    ImportSkips skips; // the others, by their number in the whole record
    qint64 read = 0; // location objects read, kept or skipped
    QString failure; // why the answer is not one the server sends; empty when it is
};

// The answers of the two kinds of server, read into points. Numbers count the location
// objects of the whole record from 1, in the order the server gives them.
namespace RestorePages {

// The months a recorder holds for a user's device: its list of ".rec" files, one a month,
// in order; nothing when the answer is not such a list.
std::optional<QList<QDate>> recorderMonths(const QByteArray &body);
// A recorder's locations in JSON: {"data": [...]} (or the array alone); objects of another
// "_type" than "location" are not points and are passed over.
RestorePage recorderLocations(const QByteArray &body, qint64 firstNumber);
// A page of dawarich's points: an array of objects.
RestorePage dawarichPoints(const QByteArray &body, qint64 firstNumber);

// One object of either kind: lat/lon/tst/acc/cc/addr as location messages write them, or
// latitude/longitude/timestamp/accuracy/country/city as dawarich does, with the message it
// was sent as ("raw_data") for what its own fields leave out.
ImportedPoint point(const QJsonObject &object, qint64 number);

} // namespace RestorePages
