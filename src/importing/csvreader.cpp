#include "importing/csvreader.h"

#include "importing/formaterror.h"
#include "importing/importtime.h"

#include <charconv>

namespace {

// A record may run over lines inside quotes, but no further than this.
constexpr qsizetype MaxRecordBytes = 1 << 20;

const char *const LatitudeNames[] = {"lat", "latitude", nullptr};
const char *const LongitudeNames[] = {"lon", "lng", "long", "longitude", nullptr};
const char *const TimeNames[] = {"time", "timestamp", "datetime", "date_time", "tst", nullptr};
const char *const DateNames[] = {"date", nullptr};
const char *const CountryNames[] = {"country", "country_code", "cc", nullptr};
const char *const RegionNames[] = {"region", "state", "province", nullptr};
const char *const CityNames[] = {"city", "locality", "town", nullptr};
const char *const PostalNames[] = {"postal", "postal_code", "postcode", "zip", nullptr};
const char *const ZoneNames[] = {"timezone", "time_zone", "tz", "tzname", nullptr};
const char *const AccuracyNames[] = {"accuracy", "acc", nullptr};
const char *const *const ColumnNames[]
    = {LatitudeNames, LongitudeNames, TimeNames,   DateNames, CountryNames,
       RegionNames,   CityNames,      PostalNames, ZoneNames, AccuracyNames};

double number(QByteArrayView text)
{
    text = text.trimmed();
    if (text.startsWith('+'))
        text = text.sliced(1);
    double value = qQNaN();
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value);
    return error == std::errc() && end == text.end() ? value : qQNaN();
}

// "08:16:31", with nothing of a date.
bool isTimeOfDay(QByteArrayView text)
{
    return text.contains(':') && !text.contains('-') && !text.contains('/') && text.size() <= 16;
}

} // namespace

CsvReader::CsvReader(const QString &path) : PointReader(path, QStringLiteral("CSV"))
{
    std::fill(std::begin(m_columns), std::end(m_columns), -1);
}

void CsvReader::readHeader()
{
    QByteArray first = file().peek(4096);
    if (first.startsWith("\xEF\xBB\xBF")) {
        file().skip(3);
        first.remove(0, 3);
    }
    // The separator the header uses most.
    const char *candidates = ",;\t";
    qsizetype most = -1;
    const qsizetype lineEnd = first.indexOf('\n');
    const QByteArray headerLine = lineEnd < 0 ? first : first.first(lineEnd);
    for (const char *c = candidates; *c; ++c) {
        if (headerLine.count(*c) > most) {
            most = headerLine.count(*c);
            m_separator = *c;
        }
    }
    QByteArrayList names;
    if (!readRecord(names))
        throw FormatError {QStringLiteral("it is empty"), 1};
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray name = names[i].trimmed().toLower();
        for (int column = 0; column < Columns; ++column) {
            for (const char *const *known = ColumnNames[column]; *known; ++known) {
                if (name == *known && m_columns[column] < 0)
                    m_columns[column] = int(i);
            }
        }
    }
    if (m_columns[Time] < 0)
        m_columns[Time] = std::exchange(m_columns[Date], -1);
    const char *missing = m_columns[Latitude] < 0 ? "latitude"
        : m_columns[Longitude] < 0                ? "longitude"
        : m_columns[Time] < 0                     ? "time"
                                                  : nullptr;
    if (missing) {
        throw FormatError {
            QStringLiteral("its first line names no %1 column").arg(QLatin1StringView(missing)), 1};
    }
}

bool CsvReader::readRecord(QByteArrayList &fields)
{
    fields.clear();
    QByteArray field;
    bool quoted = false, wasQuoted = false;
    m_recordLine = m_line + 1;
    qsizetype bytes = 0;
    for (;;) {
        const QByteArray line = file().readLine(MaxRecordBytes);
        if (line.isEmpty()) {
            if (quoted)
                throw FormatError {QStringLiteral("a quoted field is never closed"), m_recordLine};
            if (fields.isEmpty() && field.isEmpty())
                return false;
            fields.append(field);
            return true;
        }
        ++m_line;
        bytes += line.size();
        if (bytes >= MaxRecordBytes)
            throw FormatError {QStringLiteral("a record is longer than a megabyte"), m_recordLine};
        const char *at = line.constData(), *end = at + line.size();
        for (; at < end; ++at) {
            const char c = *at;
            if (quoted) {
                if (c != '"')
                    field.append(c);
                else if (at + 1 < end && at[1] == '"')
                    field.append(*++at);
                else
                    quoted = false;
            } else if (c == '"' && field.isEmpty() && !wasQuoted) {
                quoted = wasQuoted = true;
            } else if (c == m_separator) {
                fields.append(field);
                field.clear();
                wasQuoted = false;
            } else if (c == '\n' || c == '\r') {
                // The record's end (a line break inside quotes was kept above).
            } else {
                field.append(c);
            }
        }
        if (!quoted) {
            // A blank line is no record.
            if (fields.isEmpty() && field.isEmpty() && !wasQuoted) {
                m_recordLine = m_line + 1;
                bytes = 0;
                continue;
            }
            fields.append(field);
            return true;
        }
    }
}

bool CsvReader::readSome(QList<ImportedPoint> &out, int max)
{
    if (!m_started) {
        m_started = true;
        readHeader();
    }
    auto cell = [this](Column column) -> QByteArrayView {
        const int at = m_columns[column];
        return at >= 0 && at < m_fields.size() ? QByteArrayView(m_fields[at]).trimmed()
                                               : QByteArrayView();
    };
    auto text = [&](Column column) {
        return QString::fromUtf8(cell(column));
    };
    for (int i = 0; i < max; ++i) {
        if (!readRecord(m_fields))
            return false;
        ImportedPoint point;
        point.line = m_recordLine;
        point.latitude = number(cell(Latitude));
        point.longitude = number(cell(Longitude));
        const QByteArrayView time = cell(Time);
        if (m_columns[Date] >= 0 && isTimeOfDay(time))
            point.instant = ImportTime::Parse(cell(Date).toByteArray() + 'T' + time.toByteArray());
        else
            point.instant = ImportTime::Parse(time);
        point.country = text(Country);
        point.region = text(Region);
        point.city = text(City);
        point.postalCode = text(Postal);
        point.timeZone = text(Zone);
        const double accuracy = number(cell(Accuracy));
        point.accuracyMetres = accuracy > 0 ? accuracy : 0;
        take(out, std::move(point));
    }
    return true;
}
