#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

// The system's own view of the way out, for machines without NetworkManager: whether a default
// route exists, and when the set of default routes (the link and gateway they go through)
// changes. The kernel tells of every route and address change on its routing socket; the
// routes themselves are read from /proc.
class RouteWatch : public QObject
{
    Q_OBJECT

public:
    explicit RouteWatch(QObject *parent = nullptr);
    ~RouteWatch() override;

    // Listens from now on; false when the kernel's routing socket cannot be opened (the state
    // is then read once and never changes).
    bool start();
    bool isUp() const { return !m_defaults.isEmpty(); }

    // The default routes the tables name, as "link via gateway", sorted; a route that only
    // rejects, or one through the loopback, is no way out.
    static QStringList defaultRoutes(const QByteArray &ipv4Table, const QByteArray &ipv6Table);

Q_SIGNALS:
    void changed();

private:
    void readRoutes(bool tell);

    int m_socket = -1;
    QSocketNotifier *m_notifier = nullptr;
    QStringList m_defaults;
};
