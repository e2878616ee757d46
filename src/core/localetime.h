#pragma once

#include <QLocale>
#include <QString>

// The locale's short time format with the seconds put in when it leaves them out: the log and
// the time picker both deal in whole seconds.
QString TimeFormatWithSeconds(const QLocale &locale);

// The locale's short date format with a two-digit year written in four digits, all else as the
// locale has it: a log is kept and exported for years, and must not leave its century open.
QString DateFormatWithFullYear(const QLocale &locale);
