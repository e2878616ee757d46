#include "share/commandrequests.h"

#include "share/sealedmessage.h"
#include "share/sodiumlibrary.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <limits>

namespace {

const QString ReportLocation = QStringLiteral("reportLocation");

} // namespace

CommandRequests::CommandRequests(QObject *parent) : QObject(parent)
{
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &CommandRequests::minuteOver);
}

void CommandRequests::received(const QByteArray &object, const QString &stale, int lifetime)
{
    const QString at = m_clock().toString(QStringLiteral("HH:mm"));
    QJsonObject request = QJsonDocument::fromJson(object).object();
    const bool sealed
        = request.value(QStringLiteral("_type")).toString() == QLatin1String("encrypted");
    const auto refuse = [&](const QString &what, const QString &why) {
        ++m_refused;
        tell(QStringLiteral("%1 at %2, refused: %3 (%4 refused so far)")
                 .arg(what, at, why)
                 .arg(m_refused));
    };
    if (sealed) {
        std::optional<QByteArray> opened;
        if (!m_key.isEmpty() && SodiumLibrary::load().isEmpty())
            opened = SealedMessage::open(m_key, object);
        if (!opened)
            return refuse(QStringLiteral("A request"),
                          m_key.isEmpty() ? QStringLiteral("it is encrypted, and no key is set")
                                          : QStringLiteral("it does not open with the key"));
        request = QJsonDocument::fromJson(*opened).object();
    }
    // Anything else the server sends, such as its other devices' places, is not ours to judge.
    if (request.value(QStringLiteral("_type")).toString() != QLatin1String("cmd"))
        return;
    const QString action = request.value(QStringLiteral("action")).toString();
    const QString what = action.isEmpty() ? QStringLiteral("A request") : action;
    if (!m_key.isEmpty() && !sealed)
        return refuse(what, QStringLiteral("it was not encrypted"));
    if (!stale.isEmpty())
        return tell(QStringLiteral("%1 at %2, not answered: %3").arg(what, at, stale));
    if (action != ReportLocation)
        return tell(QStringLiteral("%1 at %2, ignored").arg(what, at));
    const qint64 until
        = lifetime < 0 ? std::numeric_limits<qint64>::max() : m_steady() + qint64(lifetime) * 1000;
    if (m_due.isActive()) {
        // Answered with the first of its minute, though that one may expire before.
        m_dueUntil = std::max(m_dueUntil, until);
        return;
    }
    if (m_answered.isValid() && m_answered.elapsed() < m_minuteMs) {
        m_dueAt = at;
        m_dueUntil = until;
        m_due.start(int(m_minuteMs - m_answered.elapsed()));
        return tell(QStringLiteral("%1 at %2, to be answered within a minute").arg(what, at));
    }
    tell(QStringLiteral("%1 at %2, answered").arg(what, at));
    answer();
}

void CommandRequests::minuteOver()
{
    if (!m_answering)
        return tell(QStringLiteral("%1 at %2, not answered: answering requests was turned off")
                        .arg(ReportLocation, m_dueAt));
    // A request the server no longer stands by would have the lookup service asked for nothing.
    if (m_dueUntil != std::numeric_limits<qint64>::max() && m_steady() >= m_dueUntil)
        return tell(
            QStringLiteral("%1 at %2, not answered: it had expired").arg(ReportLocation, m_dueAt));
    tell(QStringLiteral("%1 at %2, answered").arg(ReportLocation, m_dueAt));
    answer();
}

void CommandRequests::tell(const QString &words)
{
    m_last = words;
    Q_EMIT lastRequestChanged(words);
}

void CommandRequests::answer()
{
    m_answered.start();
    Q_EMIT positionAsked();
}
