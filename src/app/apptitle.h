#pragma once

#include <QString>

// The product's display name, as message boxes without a title of their own show it.
inline constexpr char ProductName[] = "Trovanel";

// Shortens a title that is longer than 40 characters by dropping its last word, as often as
// needed; a single word that is still too long is kept whole.
QString ShortenedTitle(const QString &title);

// The application title, as boxes without a title of their own show it: the product name until
// set() has run. The window keeps it rather than making it the toolkit's display name, which
// the X11 window system would append to every dialog's own title ("Application Error —
// Trovanel").
class AppTitle
{
public:
    // Makes the (shortened) product name the title and returns it.
    QString set();
    QString text() const { return m_text; }

private:
    QString m_text = QString::fromLatin1(ProductName);
};
