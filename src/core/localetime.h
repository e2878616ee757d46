#pragma once

#include <QLocale>
#include <QString>

// The locale's short time format with the seconds put in when it leaves them out: the log and
// the time picker both deal in whole seconds.
QString TimeFormatWithSeconds(const QLocale &locale);
