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

namespace {

QString &appTitle()
{
    static QString title = QString::fromLatin1(ProductName);
    return title;
}

} // namespace

QString SetAppTitle()
{
    appTitle() = ShortenedTitle(QString::fromLatin1(ProductName));
    return appTitle();
}

QString AppTitle()
{
    return appTitle();
}
