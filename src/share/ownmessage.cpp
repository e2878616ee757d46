#include "share/ownmessage.h"

#include "core/rowfixes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace OwnMessage {
namespace {

// The letter location servers read for what made the log.
QString trigger(Asker asker)
{
    switch (asker) {
    case Asker::User:
        return QStringLiteral("u");
    case Asker::Server:
        return QStringLiteral("r");
    case Asker::Schedule:
        break;
    }
    return QStringLiteral("p");
}

} // namespace

std::optional<Fix> bestFix(const LogRecord &record)
{
    // The place of an address the service cannot place is not the laptop's. Such a row is left
    // out whether or not its Wi-Fi fix came early, as it is when the fix joins it later.
    if (!record.failure.isEmpty() || Fixes::addressUnplaced(record.mark))
        return std::nullopt;
    return RowFixes(record).best();
}

QByteArray location(const LogRecord &record, const Sender &sender, qint64 createdAt)
{
    const std::optional<Fix> fix = bestFix(record);
    if (!fix || !record.instant.isValid())
        return {};
    QJsonObject message {
        {QStringLiteral("_type"), QStringLiteral("location")},
        {QStringLiteral("lat"), fix->latitude},
        {QStringLiteral("lon"), fix->longitude},
        // Some servers drop a message whose accuracy is missing or 0.
        {QStringLiteral("acc"), qint64(std::max(1.0, std::round(fix->accuracyMetres)))},
        {QStringLiteral("tst"), record.instant.toSecsSinceEpoch()},
        {QStringLiteral("created_at"), createdAt},
        {QStringLiteral("tid"), sender.trackerId},
        {QStringLiteral("t"), trigger(record.askedBy)},
    };
    // The letters location servers read: "w" for Wi-Fi, "m" for mobile; nothing when not known.
    if (sender.connection == ConnectionKind::WiFi)
        message.insert(QStringLiteral("conn"), QStringLiteral("w"));
    else if (sender.connection == ConnectionKind::Mobile)
        message.insert(QStringLiteral("conn"), QStringLiteral("m"));
    const QString country = record.cells[LogTable::Country - 1].trimmed();
    // A plan that gives the country only names it in full; the code is left out then.
    if (country.size() == 2 && country[0].isLetter() && country[1].isLetter())
        message.insert(QStringLiteral("cc"), country.toUpper());
    QStringList place;
    for (const LogTable::Column column : {LogTable::City, LogTable::Region, LogTable::Country}) {
        const QString part = record.cells[column - 1].trimmed();
        if (!part.isEmpty())
            place << part;
    }
    if (!place.isEmpty())
        message.insert(QStringLiteral("addr"), place.join(QStringLiteral(", ")));
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray withTopic(const QByteArray &message, const QString &topic)
{
    QJsonObject object = QJsonDocument::fromJson(message).object();
    object.insert(QStringLiteral("topic"), topic);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString trackerId(const QString &hostName)
{
    QString letters;
    for (const QChar c : hostName) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            letters += c.toUpper();
        if (letters.size() == 2)
            return letters;
    }
    // A one-letter name stands twice; a name of no Latin letters or digits takes the program's.
    return letters.isEmpty() ? QStringLiteral("TR") : letters + letters;
}

} // namespace OwnMessage
