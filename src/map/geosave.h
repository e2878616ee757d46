#pragma once

#include "core/slicedjob.h"
#include "map/geoexport.h"

#include <QByteArray>
#include <QFileDevice>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class QIODevice;
class ResultsList;

// Writes the ticked rows of a results list to a device in one of the geographic formats. The
// text is made in slices of the event loop, so the window stays live; the device is written by
// a thread of its own, so a slow or busy disk, which makes a write wait, never holds the window
// up. A QSaveFile is committed by that thread too once everything is in it (private to the user
// until then, see PrivateFiles::keepPrivateWhileWritten). The row count is
// fixed when the job starts; rows the table loses meanwhile (a clear) end the file early, still
// complete.
class GeoSave : public QObject
{
    Q_OBJECT

public:
    GeoSave(const ResultsList *list, QIODevice *device, GeoExport::Format format,
            QObject *parent = nullptr);
    // Waits for the writing thread, which writes nothing more.
    ~GeoSave() override;

    void start();
    bool isRunning() const { return m_job.isRunning() || m_writer.joinable(); }

Q_SIGNALS:
    // position: 0 to 100, in steps of whole percents.
    void progress(int position);
    // ok false: the device refused a write or the file could not be put in place; error says
    // why, and nothing more is written. leftOut: ticked rows without a usable place, which the
    // format leaves out.
    void finished(bool ok, const QString &error, int leftOut);

private:
    void step();
    // Hands the bytes made so far to the writing thread.
    void hand();
    // No more bytes: the writing thread ends once it has written what it has.
    void close();
    void writeAll();
    void written();
    // Whether the disk is far behind; the job then rests until the writing thread restarts it.
    bool waitForDisk();
    bool writerFailed();

    const ResultsList *m_list;
    QIODevice *m_device;
    // The mode a QSaveFile takes when it is put in place.
    QFileDevice::Permissions m_inPlaceMode;
    // The file's text, made on this thread.
    GeoExport::Writer m_text;
    bool m_begun = false;
    int m_row = 0;
    int m_rows = 0;
    int m_leftOut = 0;
    int m_lastPosition = -1;
    QByteArray m_buffer;
    SlicedJob m_job {[this] {
        step();
    }};

    // Shared with the writing thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QByteArray> m_queue;
    qsizetype m_pending = 0;
    bool m_closing = false;
    bool m_waitingForDisk = false;
    bool m_abandoned = false;
    bool m_failed = false;
    QString m_error;
    std::thread m_writer;
};
