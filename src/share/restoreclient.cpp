#include "share/restoreclient.h"

#include "lookup/failuretext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <utility>

namespace {

// name=value pairs, every value percent-encoded but the colons of a time: a '+' or '&' in a
// device's name must not change the query.
QString query(std::initializer_list<std::pair<const char *, QString>> items)
{
    QStringList pairs;
    for (const auto &[name, value] : items)
        pairs << QLatin1String(name) + u'='
                + QString::fromLatin1(QUrl::toPercentEncoding(value, ":"));
    return pairs.join(u'&');
}

QString recorderTime(const QDateTime &instant)
{
    return instant.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace

RestoreClient::RestoreClient(QObject *parent) : QObject(parent)
{
    m_unusable.setSingleShot(true);
    m_unusable.setInterval(0);
    connect(&m_unusable, &QTimer::timeout, this,
            [this] { noServer(m_unusable.property("why").toString()); });
    connect(&m_request, &RestoreRequest::answered, this, &RestoreClient::onAnswered);
}

RestoreClient::~RestoreClient() = default;

void RestoreClient::setAddress(const RestoreAddress &address)
{
    cancel();
    m_address = address;
    m_kind = RestoreKind::None;
}

void RestoreClient::setLimits(const Limits &limits)
{
    m_limits = limits;
    m_request.setLimits(limits.request);
}

QString RestoreClient::kindText(RestoreKind kind)
{
    switch (kind) {
    case RestoreKind::Recorder:
        return QStringLiteral("an OwnTracks recorder");
    case RestoreKind::Dawarich:
        return QStringLiteral("a dawarich server");
    case RestoreKind::None:
        break;
    }
    return QStringLiteral("no location server");
}

QString RestoreClient::host() const
{
    return QUrl(m_address.base).host();
}

void RestoreClient::probe()
{
    cancel();
    m_fetchAfterProbe = false;
    startProbe();
}

void RestoreClient::fetch()
{
    cancel();
    m_fetchAfterProbe = true;
    if (m_kind == RestoreKind::None)
        startProbe();
    else
        startFetch();
}

void RestoreClient::cancel()
{
    ++m_serial;
    m_request.stop();
    m_unusable.stop();
    m_onAnswer = nullptr;
}

void RestoreClient::ask(OnAnswer onAnswer, const QString &path, const QString &query)
{
    m_onAnswer = onAnswer;
    m_url = m_address.api(path, query);
    m_request.get(m_url, m_address);
}

void RestoreClient::onAnswered(const RestoreRequest::Answer &answer)
{
    if (const OnAnswer onAnswer = std::exchange(m_onAnswer, nullptr))
        (this->*onAnswer)(answer);
}

void RestoreClient::startProbe()
{
    m_firstWhy.clear();
    if (const std::optional<QString> why = m_address.unusable()) {
        // Said once the caller has gone on, as every other answer is.
        m_unusable.setProperty("why", *why);
        m_unusable.start();
        return;
    }
    // dawarich's address carries its key: it is asked first.
    if (m_address.likely == RestoreKind::Dawarich && !m_address.apiKey.isEmpty())
        ask(&RestoreClient::onKeyCheck, QStringLiteral("api/v1/points"),
            query({{"api_key", m_address.apiKey}, {"per_page", QStringLiteral("1")}}));
    else
        ask(&RestoreClient::onVersion, QStringLiteral("api/0/version"), {});
}

void RestoreClient::onVersion(const RestoreRequest::Answer &answer)
{
    const std::optional<QString> why = RestoreRequest::failure(m_url, answer, m_address.apiKey);
    const QJsonValue version = QJsonDocument::fromJson(answer.body).object().value(u"version");
    if (!why && version.isString()) {
        found(RestoreKind::Recorder,
              QStringLiteral("Found %1 at %2 (version %3).")
                  .arg(kindText(RestoreKind::Recorder), host(),
                       version.toString().simplified().left(40)));
        return;
    }
    // A server that answers, but not there or not so, may be the other kind; one that refuses
    // the password or does not answer at all is not asked again.
    if (why && answer.status != 404) {
        noServer(*why);
        return;
    }
    m_firstWhy = why.value_or(
        QStringLiteral("%1 answers, but not as an OwnTracks recorder does.").arg(host()));
    ask(&RestoreClient::onHealth, QStringLiteral("api/v1/health"), {});
}

void RestoreClient::onHealth(const RestoreRequest::Answer &answer)
{
    const bool dawarich
        = !RestoreRequest::failure(m_url, answer, m_address.apiKey) && !answer.dawarich.isEmpty();
    if (!dawarich) {
        noServer(m_firstWhy);
        return;
    }
    if (m_address.apiKey.isEmpty()) {
        noServer(QStringLiteral("Found %1 at %2, but no API key to read it with: give its "
                                "OwnTracks address with api_key=… as the server address.")
                     .arg(kindText(RestoreKind::Dawarich), host()));
        return;
    }
    ask(&RestoreClient::onKeyCheck, QStringLiteral("api/v1/points"),
        query({{"api_key", m_address.apiKey}, {"per_page", QStringLiteral("1")}}));
}

void RestoreClient::onKeyCheck(const RestoreRequest::Answer &answer)
{
    if (const std::optional<QString> why
        = RestoreRequest::failure(m_url, answer, m_address.apiKey)) {
        noServer(*why);
        return;
    }
    if (!QJsonDocument::fromJson(answer.body).isArray()) {
        noServer(QStringLiteral("%1 answers, but not as a dawarich server does.").arg(host()));
        return;
    }
    found(RestoreKind::Dawarich,
          QStringLiteral("Found %1 at %2.").arg(kindText(RestoreKind::Dawarich), host()));
}

void RestoreClient::found(RestoreKind kind, const QString &text)
{
    m_kind = kind;
    if (m_fetchAfterProbe)
        startFetch();
    else
        Q_EMIT probed(kind, text);
}

void RestoreClient::noServer(const QString &why)
{
    if (m_fetchAfterProbe)
        Q_EMIT failed(why);
    else
        Q_EMIT probed(RestoreKind::None, why);
}

void RestoreClient::startFetch()
{
    m_next = 1;
    m_count = 0;
    m_skips = {};
    m_done = 0;
    m_total = 0;
    m_ranges.clear();
    m_lastPage.clear();
    if (m_kind == RestoreKind::Recorder) {
        ask(&RestoreClient::onList, QStringLiteral("api/0/list"),
            query({{"user", m_address.user}, {"device", m_address.device}}));
    } else {
        m_page = 1;
        askPage();
    }
}

void RestoreClient::onList(const RestoreRequest::Answer &answer)
{
    if (const std::optional<QString> why
        = RestoreRequest::failure(m_url, answer, m_address.apiKey)) {
        fail(*why);
        return;
    }
    const std::optional<QList<QDate>> months = RestorePages::recorderMonths(answer.body);
    if (!months) {
        fail(QStringLiteral("%1 answers, but its list of months is not one an OwnTracks "
                            "recorder sends.")
                 .arg(host()));
        return;
    }
    for (const QDate &month : *months) {
        const QDateTime first = month.startOfDay(Qt::UTC);
        m_ranges.append({first, first.addMonths(1).addSecs(-1), true});
    }
    m_total = int(months->size());
    askRange();
}

void RestoreClient::askRange()
{
    if (m_ranges.isEmpty()) {
        Q_EMIT fetched(m_skips, m_count);
        return;
    }
    const Range &range = m_ranges.constFirst();
    ask(&RestoreClient::onLocations, QStringLiteral("api/0/locations"),
        query({{"user", m_address.user},
               {"device", m_address.device},
               {"from", recorderTime(range.from)},
               {"to", recorderTime(range.to)},
               {"format", QStringLiteral("json")}}));
}

void RestoreClient::onLocations(const RestoreRequest::Answer &answer)
{
    const Range range = m_ranges.constFirst();
    const qint64 seconds = range.from.secsTo(range.to) + 1;
    if (answer.tooLarge && !answer.killed && seconds >= 2 * m_limits.shortestRangeSeconds) {
        // Too many points for one answer: each half is asked for instead, the earlier first.
        const QDateTime middle = range.from.addSecs(seconds / 2);
        m_ranges.replace(0, {middle, range.to, range.endsMonth});
        m_ranges.prepend({range.from, middle.addSecs(-1), false});
        askRange();
        return;
    }
    if (const std::optional<QString> why
        = RestoreRequest::failure(m_url, answer, m_address.apiKey)) {
        fail(*why);
        return;
    }
    m_ranges.removeFirst();
    if (range.endsMonth)
        ++m_done;
    if (handOut(RestorePages::recorderLocations(answer.body, m_next), answer.body, m_done, m_total))
        askRange();
}

void RestoreClient::askPage()
{
    ask(&RestoreClient::onPage, QStringLiteral("api/v1/points"),
        query({{"api_key", m_address.apiKey},
               {"page", QString::number(m_page)},
               {"per_page", QString::number(m_limits.pagePoints)},
               {"order", QStringLiteral("asc")}}));
}

void RestoreClient::onPage(const RestoreRequest::Answer &answer)
{
    if (const std::optional<QString> why
        = RestoreRequest::failure(m_url, answer, m_address.apiKey)) {
        fail(*why);
        return;
    }
    const RestorePage page = RestorePages::dawarichPoints(answer.body, m_next);
    if (page.read > 0 && answer.body == m_lastPage) {
        // A server that does not page would be read for ever.
        fail(QStringLiteral("%1 sends the same page again: it does not page as a dawarich "
                            "server does.")
                 .arg(host()));
        return;
    }
    m_lastPage = answer.body;
    bool isNumber = false;
    const int total = answer.totalPages.toInt(&isNumber);
    const bool last = page.read == 0 || (isNumber && m_page >= total);
    if (!handOut(page, answer.body, m_page, isNumber ? total : 0))
        return;
    if (last) {
        Q_EMIT fetched(m_skips, m_count);
        return;
    }
    ++m_page;
    askPage();
}

bool RestoreClient::handOut(const RestorePage &page, const QByteArray &body, int done, int total)
{
    if (!page.failure.isEmpty()) {
        fail(FailureText::withoutKey(RestoreRequest::withServerWords(page.failure, body),
                                     m_address.apiKey));
        return false;
    }
    m_next += page.read;
    m_count += page.points.size();
    m_skips.withoutTime += page.skips.withoutTime;
    m_skips.outOfRange += page.skips.outOfRange;
    if (page.read == 0)
        return true;
    // The receiver may cancel, or start again, inside the signal.
    const quint64 serial = m_serial;
    Q_EMIT pointsReady(page.points, done, total);
    return serial == m_serial;
}

void RestoreClient::fail(const QString &why)
{
    Q_EMIT failed(why);
}
