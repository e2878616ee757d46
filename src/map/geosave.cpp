#include "map/geosave.h"

#include "results/resultslist.h"

#include <QFileDevice>
#include <QIODevice>

#include <algorithm>

namespace {

// Bytes waiting for the device go out at the end of a slice, or sooner once there are this many.
constexpr qsizetype WriteThreshold = qsizetype(1) << 18;

} // namespace

GeoSave::GeoSave(const ResultsList *list, QIODevice *device, GeoExport::Format format,
                 QObject *parent)
    : QObject(parent), m_list(list), m_device(device), m_writer(format)
{ }

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
        m_buffer.clear();
        m_buffer.reserve(WriteThreshold + (qsizetype(1) << 16));
        m_writer.head(m_buffer);
    }
    for (;;) {
        // The table may have been cleared since the job began.
        const int stop = std::min({m_rows, m_list->rows(), m_row + SlicedJob::RowsPerLook});
        for (; m_row < stop; ++m_row) {
            if (m_list->isChecked(m_row) && !m_writer.row(m_buffer, *m_list, m_row))
                ++m_leftOut;
        }
        if (m_buffer.size() > WriteThreshold && !writeBuffer()) {
            end(false);
            return;
        }
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
    m_writer.tail(m_buffer);
    end(writeBuffer());
}

bool GeoSave::writeBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    if (m_device->write(m_buffer) != m_buffer.size())
        return false;
    m_buffer.resize(0);
    // A file keeps small writes in its own buffer; a full disk shows only when that goes out.
    if (auto *file = qobject_cast<QFileDevice *>(m_device))
        return file->flush();
    return true;
}

void GeoSave::end(bool ok)
{
    m_job.stop();
    m_buffer = QByteArray();
    Q_EMIT finished(ok, ok ? QString() : m_device->errorString(), m_leftOut);
}
