#include "map/geosave.h"

#include "core/privatefiles.h"
#include "results/resultslist.h"

#include <QFileDevice>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>

namespace {

// Bytes go to the writing thread in pieces of this size.
constexpr qsizetype WriteThreshold = qsizetype(1) << 18;
// When the disk falls this far behind, the text waits for it rather than fill the memory.
constexpr qsizetype MaxPending = qsizetype(64) << 20;

} // namespace

GeoSave::GeoSave(const ResultsList *list, QIODevice *device, GeoExport::Format format,
                 QObject *parent)
    : QObject(parent), m_list(list), m_device(device), m_text(format)
{
    if (auto *save = qobject_cast<QSaveFile *>(device))
        m_inPlaceMode = PrivateFiles::keepPrivateWhileWritten(*save);
}

GeoSave::~GeoSave()
{
    m_job.stop();
    if (!m_writer.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
        m_closing = true;
    }
    m_wake.notify_all();
    m_writer.join();
}

void GeoSave::start()
{
    if (isRunning())
        return;
    m_begun = false;
    m_job.start();
}

void GeoSave::step()
{
    if (!m_begun) {
        m_begun = true;
        m_rows = m_list->rows();
        m_row = 0;
        m_leftOut = 0;
        m_lastPosition = -1;
        m_queue.clear();
        m_pending = 0;
        m_closing = m_abandoned = m_failed = m_waitingForDisk = false;
        m_error.clear();
        m_buffer.reserve(WriteThreshold + (qsizetype(1) << 16));
        m_text.head(m_buffer);
        m_writer = std::thread([this] { writeAll(); });
    }
    // A device that refused a write takes nothing more; the writing thread tells the end.
    if (writerFailed()) {
        close();
        return;
    }
    for (;;) {
        // The disk is far behind: the job rests until the writing thread has caught up.
        if (waitForDisk())
            return;
        // The table may have been cleared since the job began.
        const int stop = std::min({m_rows, m_list->rows(), m_row + SlicedJob::RowsPerLook});
        for (; m_row < stop; ++m_row) {
            if (m_list->isChecked(m_row) && !m_text.row(m_buffer, *m_list, m_row))
                ++m_leftOut;
        }
        if (m_buffer.size() > WriteThreshold)
            hand();
        if (m_row >= std::min(m_rows, m_list->rows()))
            break;
        if (m_job.turnIsOver()) {
            const int position = int(qint64(m_row) * 100 / std::max(m_rows, 1));
            if (position != m_lastPosition) {
                m_lastPosition = position;
                Q_EMIT progress(position);
            }
            return;
        }
    }
    m_text.tail(m_buffer);
    hand();
    close();
}

void GeoSave::hand()
{
    if (m_buffer.isEmpty())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_pending += m_buffer.size();
        m_queue.push_back(std::move(m_buffer));
    }
    m_wake.notify_one();
    m_buffer = QByteArray();
    m_buffer.reserve(WriteThreshold + (qsizetype(1) << 16));
}

void GeoSave::close()
{
    m_job.stop();
    m_buffer = QByteArray();
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
}

bool GeoSave::waitForDisk()
{
    std::lock_guard lock(m_mutex);
    if (m_pending <= MaxPending)
        return false;
    m_waitingForDisk = true;
    m_job.stop();
    return true;
}

bool GeoSave::writerFailed()
{
    std::lock_guard lock(m_mutex);
    return m_failed;
}

// The writing thread: the device is its own from start() until it posts written().
void GeoSave::writeAll()
{
    auto *file = qobject_cast<QFileDevice *>(m_device);
    for (;;) {
        QByteArray bytes;
        bool skip = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_queue.empty() || m_closing; });
            if (m_queue.empty())
                break;
            bytes = std::move(m_queue.front());
            m_queue.pop_front();
            skip = m_failed || m_abandoned;
        }
        // A file keeps small writes in its own buffer; a full disk shows only when that goes
        // out.
        const bool ok
            = skip || (m_device->write(bytes) == bytes.size() && (!file || file->flush()));
        std::lock_guard lock(m_mutex);
        m_pending -= bytes.size();
        if (!ok) {
            m_failed = true;
            m_error = file ? QStringLiteral("The file %1 could not be written: %2")
                                 .arg(file->fileName(), file->errorString())
                           : m_device->errorString();
        }
        if (m_waitingForDisk && (m_pending <= MaxPending / 2 || m_failed)) {
            m_waitingForDisk = false;
            QMetaObject::invokeMethod(
                this, [this] { m_job.start(); }, Qt::QueuedConnection);
        }
    }
    std::unique_lock lock(m_mutex);
    if (m_abandoned)
        return;
    if (!m_failed) {
        // Put in place here too: the file's data goes to the disk first, which can take long.
        if (auto *save = qobject_cast<QSaveFile *>(m_device)) {
            lock.unlock();
            const bool committed = PrivateFiles::putInPlace(*save, m_inPlaceMode);
            lock.lock();
            if (!committed) {
                m_failed = true;
                m_error = QStringLiteral("The file %1 could not be put in place: %2")
                              .arg(save->fileName(), save->errorString());
            }
        }
    }
    QMetaObject::invokeMethod(this, &GeoSave::written, Qt::QueuedConnection);
}

void GeoSave::written()
{
    if (m_writer.joinable())
        m_writer.join();
    bool ok;
    QString error;
    {
        std::lock_guard lock(m_mutex);
        ok = !m_failed;
        error = m_error;
    }
    Q_EMIT finished(ok, error, m_leftOut);
}
