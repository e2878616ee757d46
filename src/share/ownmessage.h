#pragma once

#include "core/connectionkind.h"
#include "core/fix.h"
#include "core/logtable.h"

#include <QByteArray>
#include <QString>

// The location message that location servers of one's own already read (a JSON object of
// "_type":"location"), made from a good row.
namespace OwnMessage {

// What the row does not hold: who sends it and how it was connected.
struct Sender
{
    QString trackerId; // two letters that stand for the laptop on the server's map
    ConnectionKind connection = ConnectionKind::Unknown;
};

// The message for a row that found a place, its fix the surer of the row's two; nothing for a
// failed row, one without a place, or one whose address the service cannot place. createdAt:
// Unix seconds now.
QByteArray location(const LogRecord &record, const Sender &sender, qint64 createdAt);
// The same message with the topic in it, for HTTP servers that name the device by it.
QByteArray withTopic(const QByteArray &message, const QString &topic);

// The first two letters or digits of the host name, in capitals; "TR" when it has none.
QString trackerId(const QString &hostName);
// The fix a message carries: the surer of the row's address fix and its Wi-Fi fix.
std::optional<Fix> bestFix(const LogRecord &record);

} // namespace OwnMessage
