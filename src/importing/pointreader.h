#pragma once

#include "core/importedpoint.h"

#include <QFile>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

// One track file read a piece at a time, so that a file of any size comes in a slice per turn of
// the event loop and never whole into memory. Made by openPointFile() (importing/pointfile.h).
//
// A file that turns out not to be what it claims throws an ImportFailure from read(), which may
// come after some of its points were already handed out: the caller keeps none of them.
class PointReader
{
public:
    virtual ~PointReader();
    PointReader(const PointReader &) = delete;
    PointReader &operator=(const PointReader &) = delete;

    // Appends up to `max` more points to `out`, those that can be logs; points without a time or
    // a place on the globe are counted in skips() instead. May append fewer, even none, while the
    // file goes on (a call's work is bounded by what it reads, not by what it finds). False once
    // every point is handed out. Throws ImportFailure: "trip.gpx is not a GPX file: <why> (line
    // 12)", or the reading's own error; every later call throws it again.
    bool read(QList<ImportedPoint> &out, int max);

    // How far into the file the reading is, for a progress bar.
    qint64 bytesRead() const;
    qint64 bytesTotal() const;
    const ImportSkips &skips() const { return m_skips; }
    // "GPX", "GeoJSON", "KML", "CSV", "location record".
    const QString &formatName() const { return m_formatName; }
    // The file's own name, without its folder, as messages give it.
    QString fileName() const;

protected:
    // Opens the file; a file that cannot be read throws ImportFailure.
    PointReader(const QString &path, QString formatName);

    // The format's own reading, with read()'s promises but that it may append a few more than
    // `max` where one element holds several points; throws FormatError for a file that is not
    // of the format.
    virtual bool readSome(QList<ImportedPoint> &out, int max) = 0;

    // Hands the point out, or counts it among the skipped by its line.
    void take(QList<ImportedPoint> &out, ImportedPoint &&point);
    QFile &file() { return m_file; }

private:
    QFile m_file;
    QString m_formatName;
    ImportSkips m_skips;
    QList<ImportedPoint> m_waiting; // read, beyond what the last call could hand out
    std::optional<ImportFailure> m_failure;
    bool m_done = false;
};
