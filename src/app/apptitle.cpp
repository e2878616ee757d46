#include "app/apptitle.h"

#include <QGuiApplication>

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

QString SetAppTitle()
{
    const QString title = ShortenedTitle(QString::fromLatin1(ProductName));
    QGuiApplication::setApplicationDisplayName(title);
    return title;
}
