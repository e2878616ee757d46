#include "importing/recordreader.h"

#include "importing/formaterror.h"
#include "importing/importtime.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A message is a few hundred bytes; a line this long is no record.
constexpr qint64 MaxLineBytes = 1 << 20;

double coordinate(const QJsonValue &value)
{
    return value.isDouble() ? value.toDouble() : qQNaN();
}

} // namespace

RecordReader::RecordReader(const QString &path)
    : PointReader(path, QStringLiteral("location record"))
{ }

bool RecordReader::readSome(QList<ImportedPoint> &out, int max)
{
    for (int i = 0; i < max; ++i) {
        const QByteArray line = file().readLine(MaxLineBytes);
        if (line.isEmpty())
            return false;
        ++m_line;
        if (!line.endsWith('\n') && !file().atEnd())
            throw FormatError {QStringLiteral("a line is longer than a megabyte"), m_line};
        const QByteArrayView text = QByteArrayView(line).trimmed();
        if (text.isEmpty())
            continue;
        const qsizetype tab = text.indexOf('\t');
        const qsizetype brace = text.indexOf('{');
        const QDateTime stored = ImportTime::Parse(text.first(std::max<qsizetype>(tab, 0)));
        if (tab < 0 || brace < tab || !stored.isValid()) {
            throw FormatError {QStringLiteral("the line is not a time, a topic and a message"),
                               m_line};
        }
        QJsonParseError error;
        const QJsonDocument message
            = QJsonDocument::fromJson(text.sliced(brace).toByteArray(), &error);
        if (!message.isObject()) {
            throw FormatError {
                QStringLiteral("its message is not a JSON object (%1)").arg(error.errorString()),
                m_line};
        }
        const QJsonObject fields = message.object();
        if (fields.value(u"_type").toString() != u"location")
            continue;
        ImportedPoint point;
        point.line = m_line;
        point.latitude = coordinate(fields.value(u"lat"));
        point.longitude = coordinate(fields.value(u"lon"));
        const QJsonValue tst = fields.value(u"tst");
        point.instant = tst.isDouble() ? ImportTime::FromEpoch(tst.toDouble()) : stored;
        point.accuracyMetres = std::max(0.0, fields.value(u"acc").toDouble());
        point.country = fields.value(u"cc").toString();
        point.city = fields.value(u"locality").toString();
        point.timeZone = fields.value(u"tzname").toString();
        take(out, std::move(point));
    }
    return true;
}
