#pragma once

#include "core/importedpoint.h"
#include "share/restoreaddress.h"
#include "share/restorepages.h"
#include "share/restorerequest.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// Reads the laptop's record back from the user's location server, one bounded request at a
// time through curl, the event loop never waiting: an OwnTracks recorder a month at a time
// (a month too large for one answer is asked for in halves), a dawarich server a page at a
// time. The points come in batches as each answer is read; the whole record has come only
// when fetched() says so.
//
// A fetch ends with exactly one of fetched() and failed(), unless cancel() comes first. After
// failed(), the points handed out before must be discarded: a record read in part is not the
// record, and nothing of it may join the table.
class RestoreClient : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        RestoreRequest::Limits request = RestoreRequest::DefaultLimits;
        int pagePoints = 1000; // points asked of dawarich a page
        int shortestRangeSeconds = 3600; // a recorder's range is not halved below this
    };

    explicit RestoreClient(QObject *parent = nullptr);
    ~RestoreClient() override;

    // Where to read from; the kind of server found there is forgotten.
    void setAddress(const RestoreAddress &address);
    const RestoreAddress &address() const { return m_address; }
    void setLimits(const Limits &limits);
    void setClient(const QString &program) { m_request.setClient(program); }

    // The kind of server probe() or fetch() found; None until then.
    RestoreKind kind() const { return m_kind; }
    // "an OwnTracks recorder", "a dawarich server", "no location server".
    static QString kindText(RestoreKind kind);
    bool isBusy() const { return m_onAnswer || m_unusable.isActive(); }

    // Finds which kind of server answers at the address: probed() follows.
    void probe();
    // Reads the whole record of the user's device (probing first when the kind is not known
    // yet): pointsReady() for each answer, then fetched() or failed().
    void fetch();
    // Ends a probe or fetch in flight: no signal follows.
    void cancel();

Q_SIGNALS:
    // kind None: text says why no server was found, in the server's words where it gave any.
    // Else text names what was found, for the user ("Found an OwnTracks recorder at …").
    void probed(RestoreKind kind, const QString &text);
    // The points of one answer, in the server's order. done of total: months or pages read;
    // total is 0 when the server does not say how many pages there are.
    void pointsReady(const QList<ImportedPoint> &points, int done, int total);
    // The whole record has come: count points in all, skips the objects that were not.
    void fetched(const ImportSkips &skips, qint64 count);
    // The fetch ended without the whole record: discard every point of it.
    void failed(const QString &why);

private:
    // What reads the answer of the request in flight.
    using OnAnswer = void (RestoreClient::*)(const RestoreRequest::Answer &);
    struct Range
    {
        QDateTime from, to; // both included, to the second
        bool endsMonth = false;
    };

    void ask(OnAnswer onAnswer, const QString &path, const QString &query);
    void onAnswered(const RestoreRequest::Answer &answer);
    void startProbe();
    void onVersion(const RestoreRequest::Answer &answer);
    void onHealth(const RestoreRequest::Answer &answer);
    void onKeyCheck(const RestoreRequest::Answer &answer);
    void found(RestoreKind kind, const QString &text);
    void noServer(const QString &why);
    void startFetch();
    void onList(const RestoreRequest::Answer &answer);
    void askRange();
    void onLocations(const RestoreRequest::Answer &answer);
    void askPage();
    void onPage(const RestoreRequest::Answer &answer);
    bool handOut(const RestorePage &page, const QByteArray &body, int done, int total);
    void fail(const QString &why);
    QString host() const;

    RestoreAddress m_address;
    Limits m_limits;
    RestoreRequest m_request;
    RestoreKind m_kind = RestoreKind::None;
    OnAnswer m_onAnswer = nullptr; // none while nothing is asked
    QTimer m_unusable; // says why the address cannot be used, once the caller has gone on
    QString m_url; // of the request in flight
    bool m_fetchAfterProbe = false;
    QString m_firstWhy; // why the first kind tried did not answer as itself
    quint64 m_serial = 0; // moves on at each cancel, so that a slot that cancels is noticed

    QList<Range> m_ranges;
    int m_page = 0;
    QByteArray m_lastPage;
    int m_done = 0;
    int m_total = 0;
    qint64 m_next = 1; // the number of the next location object
    qint64 m_count = 0;
    ImportSkips m_skips;
};
