#include "importing/pointreader.h"

#include "importing/formaterror.h"

#include <QFileInfo>
#include <cmath>

namespace {

bool onGlobe(double latitude, double longitude)
{
    // NaN fails both.
    return std::abs(latitude) <= 90 && std::abs(longitude) <= 180;
}

} // namespace

PointReader::PointReader(const QString &path, QString formatName)
    : m_file(path), m_formatName(std::move(formatName))
{
    const QFileInfo info(path);
    const QString why = !info.exists()      ? QStringLiteral("there is no such file")
        : info.isDir()                      ? QStringLiteral("it is a folder")
        : !m_file.open(QIODevice::ReadOnly) ? m_file.errorString()
                                            : QString();
    if (!why.isEmpty())
        throw ImportFailure(QStringLiteral("Cannot read %1: %2").arg(fileName(), why));
}

PointReader::~PointReader() = default;

bool PointReader::read(QList<ImportedPoint> &out, int max)
{
    if (m_failure)
        throw *m_failure;
    max = std::max(1, max);
    if (!m_done && m_waiting.size() < max) {
        try {
            m_done = !readSome(m_waiting, int(max - m_waiting.size()));
        } catch (const FormatError &error) {
            m_failure.emplace(QStringLiteral("%1 is not a %2 file: %3 (line %4)")
                                  .arg(fileName(), m_formatName, error.why)
                                  .arg(error.line));
            throw *m_failure;
        }
        if (m_file.error() != QFileDevice::NoError) {
            m_failure.emplace(
                QStringLiteral("Cannot read %1: %2").arg(fileName(), m_file.errorString()));
            throw *m_failure;
        }
    }
    // One element of a file may hold several points: those beyond `max` wait for the next call.
    if (m_waiting.size() <= max) {
        out.append(std::move(m_waiting));
        m_waiting.clear();
    } else {
        out.append(m_waiting.first(max));
        m_waiting.remove(0, max);
    }
    return !m_done || !m_waiting.isEmpty();
}

qint64 PointReader::bytesRead() const
{
    return m_done ? m_file.size() : std::min(m_file.pos(), m_file.size());
}

qint64 PointReader::bytesTotal() const
{
    return m_file.size();
}

QString PointReader::fileName() const
{
    return QFileInfo(m_file.fileName()).fileName();
}

void PointReader::take(QList<ImportedPoint> &out, ImportedPoint &&point)
{
    if (!onGlobe(point.latitude, point.longitude))
        m_skips.outOfRange.append(point.line);
    else if (!point.instant.isValid())
        m_skips.withoutTime.append(point.line);
    else
        out.append(std::move(point));
}
