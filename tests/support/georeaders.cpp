#include "support/georeaders.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTime>
#include <QtDebug>

// RFC 4180 records, as the readers print them.
QList<QStringList> ParseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else if (c == u'\n') {
            fields << field;
            records << fields;
            fields.clear();
            field.clear();
        } else if (c != u'\r') {
            field += c;
        }
    }
    return records;
}

// The CSV the tool prints, keyed by its header; ran false when the tool is missing or fails.
QList<QHash<QString, QString>> ReadWith(const QString &tool, const QStringList &arguments,
                                        bool *ran)
{
    *ran = false;
    QList<QHash<QString, QString>> rows;
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return rows;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // gpsbabel prints times in the local zone.
    environment.insert("TZ", "UTC");
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning() << tool << arguments << process.readAllStandardError();
        return rows;
    }
    const QList<QStringList> records = ParseCsv(process.readAllStandardOutput());
    for (qsizetype i = 1; i < records.size(); ++i) {
        QHash<QString, QString> row;
        for (qsizetype column = 0; column < records[0].size(); ++column)
            row.insert(records[0][column], records[i].value(column));
        rows << row;
    }
    *ran = true;
    return rows;
}

// GDAL's "2026/12/11 09:16:31.250+0530" (or "+05", "+00") as an instant.
QDateTime GdalTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d)(?:\.(\d{3}))?([+-])(\d\d)(\d\d)?$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return {};
    const int offset = (m.captured(9).toInt() * 3600 + m.captured(10).toInt() * 60)
        * (m.captured(8) == "-" ? -1 : 1);
    return QDateTime(QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()),
                     QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                           m.captured(7).toInt()),
                     Qt::OffsetFromUTC, offset);
}

// gpsbabel's Date and Time columns, in UTC.
QDateTime BabelTime(const QHash<QString, QString> &row)
{
    QTime time = QTime::fromString(row.value("Time"), "HH:mm:ss.zzz");
    if (!time.isValid())
        time = QTime::fromString(row.value("Time"), "HH:mm:ss");
    return QDateTime(QDate::fromString(row.value("Date"), "yyyy/MM/dd"), time, Qt::UTC);
}
