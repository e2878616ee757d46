#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QStringView>

// The pieces every geographic export is made of, put down as UTF-8 straight into the file's
// bytes: a million rows go through here, so nothing is built twice.
namespace GeoText {

enum class Escape {
    None, // as it is (a CSV field, quoted or not by the caller)
    Xml, // & < > " ' as entities; characters XML 1.0 cannot hold are dropped
    Json, // " and \ escaped, control characters as \uXXXX
    CsvQuoted, // quotes doubled, for a field inside quotes
};

// The text as UTF-8; a lone surrogate becomes U+FFFD, so the file is always valid UTF-8.
void Append(QByteArray &out, QStringView text, Escape escape);
// Whether a CSV field needs quotes: it holds a comma, a quote, CR or LF.
bool CsvNeedsQuotes(QStringView text);
// A CSV field, quoted when it needs to be.
void AppendCsvField(QByteArray &out, QStringView text);

// The shortest decimal that reads back as the same double ("47.3667", "-180", "0").
void AppendNumber(QByteArray &out, double value);

// "2026-12-11T08:16:31Z": the instant in UTC; milliseconds only when it has some.
void AppendUtcTime(QByteArray &out, const QDateTime &instant);
// "2026-12-11T09:16:31+01:00": the instant with its own offset from UTC.
void AppendOffsetTime(QByteArray &out, const QDateTime &instant);

} // namespace GeoText
