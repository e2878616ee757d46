#pragma once

#include <QString>

// The product's display name, as message boxes without a title of their own show it.
inline constexpr char ProductName[] = "Trovanel";

// Shortens a title that is longer than 40 characters by dropping its last word, as often as
// needed; a single word that is still too long is kept whole.
QString ShortenedTitle(const QString &title);

// Makes the (shortened) product name the application title and returns it. It is kept by the
// program rather than as the toolkit's display name, which the X11 window system would append
// to every dialog's own title ("Application Error — Trovanel").
QString SetAppTitle();
// The application title: the product name until SetAppTitle() has run.
QString AppTitle();
