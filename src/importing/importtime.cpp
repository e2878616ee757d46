#include "importing/importtime.h"

#include <QDate>
#include <cmath>

namespace ImportTime {
namespace {

constexpr qint64 MsPerDay = 86'400'000;
constexpr qint64 UnixJulianDay = 2'440'588;
// Beyond this a count is taken for milliseconds: as seconds it would be past the year 5000.
constexpr double LargestSeconds = 1e11;

// Reads the characters of either kind of text one at a time, as numbers.
template<typename Char> class Cursor
{
public:
    Cursor(const Char *begin, const Char *end) : m_at(begin), m_end(end) { }

    int peek() const { return m_at < m_end ? code(*m_at) : -1; }
    bool atEnd() const { return m_at >= m_end; }
    void skip() { ++m_at; }
    bool take(int c)
    {
        if (peek() != c)
            return false;
        ++m_at;
        return true;
    }
    // Exactly `count` digits, or -1.
    int digits(int count)
    {
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const int c = peek();
            if (c < '0' || c > '9')
                return -1;
            value = value * 10 + (c - '0');
            ++m_at;
        }
        return value;
    }
    bool isDigit() const { return peek() >= '0' && peek() <= '9'; }
    void skipSpaces()
    {
        while (peek() == ' ' || peek() == '\t')
            ++m_at;
    }

private:
    static int code(char c) { return static_cast<unsigned char>(c); }
    static int code(QChar c) { return c.unicode(); }

    const Char *m_at;
    const Char *m_end;
};

template<typename Char> QDateTime epoch(Cursor<Char> cursor)
{
    // Digits with at most one point and a sign: built up by hand, the text being either kind.
    bool negative = cursor.take('-');
    double value = 0, scale = 0;
    bool any = false;
    while (!cursor.atEnd()) {
        const int c = cursor.peek();
        if (c >= '0' && c <= '9') {
            any = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            return {};
        }
        cursor.skip();
    }
    return any ? FromEpoch(negative ? -value : value) : QDateTime();
}

template<typename Char> QDateTime parse(const Char *begin, const Char *end)
{
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    Cursor<Char> in(begin, end);
    in.skipSpaces();
    {
        // A date begins with four digits and a separator; a count of seconds has more digits.
        Cursor<Char> look = in;
        if (look.digits(4) < 0 || (look.peek() != '-' && look.peek() != '/'))
            return epoch(in);
    }
    const int year = in.digits(4);
    const int separator = in.peek();
    in.skip();
    const int month = in.digits(2);
    if (!in.take(separator))
        return {};
    const int day = in.digits(2);
    if (!in.take('T') && !in.take('t') && !in.take(' '))
        return {};
    const int hour = in.digits(2);
    if (!in.take(':'))
        return {};
    const int minute = in.digits(2);
    int second = 0, ms = 0;
    if (in.take(':')) {
        second = in.digits(2);
        if ((in.take('.') || in.take(',')) && in.isDigit()) {
            for (int scale = 100; in.isDigit(); scale /= 10) {
                ms += scale * (in.peek() - '0');
                in.skip();
            }
        }
    }
    const QDate date(year, month, day);
    // A leap second is taken as the second before it.
    second = std::min(second, 59);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0)
        return {};
    in.skipSpaces();
    int offsetMinutes = 0;
    if (in.take('Z') || in.take('z') || in.atEnd()) {
        // UTC, said or left to be understood.
    } else if (in.peek() == '+' || in.peek() == '-') {
        const int sign = in.peek() == '-' ? -1 : 1;
        in.skip();
        const int hours = in.digits(2);
        int minutes = 0;
        if (!in.atEnd()) {
            in.take(':');
            minutes = in.digits(2);
        }
        if (hours < 0 || hours > 18 || minutes < 0 || minutes > 59)
            return {};
        offsetMinutes = sign * (hours * 60 + minutes);
    } else {
        return {};
    }
    if (!in.atEnd())
        return {};
    const qint64 msSinceEpoch = (date.toJulianDay() - UnixJulianDay) * MsPerDay
        + ((hour * 60 + minute - offsetMinutes) * 60 + second) * 1000LL + ms;
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC);
}

} // namespace

QDateTime Parse(QByteArrayView text)
{
    return parse(text.begin(), text.end());
}

QDateTime Parse(QStringView text)
{
    return parse(text.begin(), text.end());
}

QDateTime FromEpoch(double seconds)
{
    if (!std::isfinite(seconds))
        return {};
    const double ms = std::abs(seconds) >= LargestSeconds ? seconds : seconds * 1000;
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(ms)), Qt::UTC);
}

} // namespace ImportTime
