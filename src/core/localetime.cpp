#include "core/localetime.h"

QString TimeFormatWithSeconds(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s')))
        return format;
    const qsizetype minutes = format.indexOf(QLatin1Char('m'));
    if (minutes < 0)
        return format;
    qsizetype end = minutes;
    while (end < format.size() && format.at(end) == QLatin1Char('m'))
        ++end;
    const QChar separator = minutes > 0 && !format.at(minutes - 1).isLetter()
            && format.at(minutes - 1) != QLatin1Char('\'')
        ? format.at(minutes - 1)
        : QLatin1Char(':');
    format.insert(end, separator + QStringLiteral("ss"));
    return format;
}

QString DateFormatWithFullYear(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    for (qsizetype at = 0; at < format.size();) {
        qsizetype end = at + 1;
        while (end < format.size() && format.at(end) == format.at(at))
            ++end;
        if (format.at(at) == QLatin1Char('y') && end - at == 2) {
            format.insert(at, QStringLiteral("yy"));
            end += 2;
        }
        at = end;
    }
    return format;
}
