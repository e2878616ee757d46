#include "map/geotext.h"

#include <charconv>
#include <cstdio>

namespace GeoText {
namespace {

void putUtf8(QByteArray &out, char32_t code)
{
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

void putAscii(QByteArray &out, char16_t c, Escape escape)
{
    switch (escape) {
    case Escape::None:
        break;
    case Escape::Xml:
        switch (c) {
        case u'&':
            out.append("&amp;");
            return;
        case u'<':
            out.append("&lt;");
            return;
        case u'>':
            out.append("&gt;");
            return;
        case u'"':
            out.append("&quot;");
            return;
        case u'\'':
            out.append("&apos;");
            return;
        default:
            // XML 1.0 has no place for the other control characters, not even as references.
            if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
                return;
        }
        break;
    case Escape::Json:
        if (c == u'"' || c == u'\\') {
            out.append('\\');
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out.append(escaped);
            return;
        }
        break;
    case Escape::CsvQuoted:
        if (c == u'"')
            out.append('"');
        break;
    }
    out.append(char(c));
}

// The calendar date and time of day of a moment given in milliseconds since 1970.
struct Civil
{
    qint64 year;
    int month, day, hour, minute, second, millisecond;
};

Civil civil(qint64 msSinceEpoch)
{
    qint64 days = msSinceEpoch / 86'400'000;
    qint64 rest = msSinceEpoch % 86'400'000;
    if (rest < 0) {
        rest += 86'400'000;
        --days;
    }
    // Days since 1970-01-01 to a proleptic Gregorian date, in eras of 400 years.
    days += 719'468;
    const qint64 era = (days >= 0 ? days : days - 146'096) / 146'097;
    const qint64 dayOfEra = days - era * 146'097;
    const qint64 yearOfEra
        = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shifted = (5 * dayOfYear + 2) / 153;
    Civil out {};
    out.day = int(dayOfYear - (153 * shifted + 2) / 5 + 1);
    out.month = int(shifted < 10 ? shifted + 3 : shifted - 9);
    out.year = yearOfEra + era * 400 + (out.month <= 2 ? 1 : 0);
    out.hour = int(rest / 3'600'000);
    out.minute = int(rest / 60'000 % 60);
    out.second = int(rest / 1000 % 60);
    out.millisecond = int(rest % 1000);
    return out;
}

void putDigits(char *at, int value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        at[i] = char('0' + value % 10);
        value /= 10;
    }
}

void putDateTime(QByteArray &out, qint64 msSinceEpoch)
{
    const Civil when = civil(msSinceEpoch);
    if (when.year < 0 || when.year > 9999) {
        // Beyond four digits ISO 8601 needs a sign and an agreement; no log is made then.
        out.append(QByteArray::number(when.year));
        return;
    }
    char text[24] = "0000-00-00T00:00:00.000";
    putDigits(text, int(when.year), 4);
    putDigits(text + 5, when.month, 2);
    putDigits(text + 8, when.day, 2);
    putDigits(text + 11, when.hour, 2);
    putDigits(text + 14, when.minute, 2);
    putDigits(text + 17, when.second, 2);
    putDigits(text + 20, when.millisecond, 3);
    out.append(text, when.millisecond == 0 ? 19 : 23);
}

} // namespace

void Append(QByteArray &out, QStringView text, Escape escape)
{
    const qsizetype size = text.size();
    const char16_t *chars = text.utf16();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = chars[i];
        if (c < 0x80) {
            putAscii(out, c, escape);
        } else if (QChar::isHighSurrogate(c) && i + 1 < size
                   && QChar::isLowSurrogate(chars[i + 1])) {
            putUtf8(out, QChar::surrogateToUcs4(c, chars[i + 1]));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            putUtf8(out, 0xFFFD);
        } else if (escape == Escape::Xml && (c == 0xFFFE || c == 0xFFFF)) {
            continue;
        } else {
            putUtf8(out, c);
        }
    }
}

bool CsvNeedsQuotes(QStringView text)
{
    for (QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    }
    return false;
}

void AppendCsvField(QByteArray &out, QStringView text)
{
    if (!CsvNeedsQuotes(text)) {
        Append(out, text, Escape::None);
        return;
    }
    out.append('"');
    Append(out, text, Escape::CsvQuoted);
    out.append('"');
}

void AppendNumber(QByteArray &out, double value)
{
    // Negative zero reads as zero everywhere; "-0" would only puzzle a reader.
    if (value == 0)
        value = 0;
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    out.append(text, end.ptr - text);
}

void AppendUtcTime(QByteArray &out, const QDateTime &instant)
{
    putDateTime(out, instant.toMSecsSinceEpoch());
    out.append('Z');
}

void AppendOffsetTime(QByteArray &out, const QDateTime &instant)
{
    const int offset = instant.offsetFromUtc();
    putDateTime(out, instant.toMSecsSinceEpoch() + qint64(offset) * 1000);
    const int magnitude = offset < 0 ? -offset : offset;
    char text[7] = "+00:00";
    text[0] = offset < 0 ? '-' : '+';
    putDigits(text + 1, magnitude / 3600, 2);
    putDigits(text + 4, magnitude / 60 % 60, 2);
    out.append(text, 6);
}

} // namespace GeoText
