#pragma once

#include "map/geoexport.h"
#include "results/slicedjob.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QIODevice;
class ResultsList;

// Writes the ticked rows of a results list to a device in one of the geographic formats, in
// slices of the event loop so the window stays live. The row count is fixed when the job
// starts; rows the table loses meanwhile (a clear) end the file early, still complete.
class GeoSave : public QObject
{
    Q_OBJECT

public:
    GeoSave(const ResultsList *list, QIODevice *device, GeoExport::Format format,
            QObject *parent = nullptr);

    void start();
    bool isRunning() const { return m_job.isRunning(); }

Q_SIGNALS:
    // position: 0 to 100, in steps of whole percents.
    void progress(int position);
    // ok false: the device refused a write; error says why, and nothing more is written.
    // leftOut: ticked rows without a usable place, which the format leaves out.
    void finished(bool ok, const QString &error, int leftOut);

private:
    void step();
    bool writeBuffer();
    void end(bool ok);

    const ResultsList *m_list;
    QIODevice *m_device;
    GeoExport::Writer m_writer;
    bool m_begun = false;
    int m_row = 0;
    int m_rows = 0;
    int m_leftOut = 0;
    int m_lastPosition = -1;
    QByteArray m_buffer;
    SlicedJob m_job {[this] {
        step();
    }};
};
