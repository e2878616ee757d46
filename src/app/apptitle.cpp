#include "app/apptitle.h"

QString ShortenedTitle(const QString &title)
{
    QString result = title;
    while (result.size() > 40) {
        const qsizetype blank = result.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        result.truncate(blank);
    }
    return result;
}

QString AppTitle::set()
{
    m_text = ShortenedTitle(QString::fromLatin1(ProductName));
    return m_text;
}
