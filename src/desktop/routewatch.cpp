#include "desktop/routewatch.h"

#include <QFile>
#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr unsigned RouteUp = 0x0001; // RTF_UP
constexpr unsigned RouteRejects = 0x0200; // RTF_REJECT

QByteArray contents(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

RouteWatch::RouteWatch(QObject *parent) : QObject(parent) { }

RouteWatch::~RouteWatch()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

QStringList RouteWatch::defaultRoutes(const QByteArray &ipv4Table, const QByteArray &ipv6Table)
{
    QStringList routes;
    const auto wayOut = [&](const QByteArray &link, const QByteArray &gateway, unsigned flags) {
        if (link != "lo" && (flags & RouteUp) && !(flags & RouteRejects))
            routes.append(QString::fromLatin1(link + " via " + gateway));
    };
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the first line heads them.
    const QList<QByteArray> ipv4 = ipv4Table.split('\n');
    for (qsizetype i = 1; i < ipv4.size(); ++i) {
        const QList<QByteArray> field = ipv4[i].simplified().split(' ');
        if (field.size() >= 8 && field[1] == "00000000" && field[7] == "00000000")
            wayOut(field[0], field[2], field[3].toUInt(nullptr, 16));
    }
    // Destination, its prefix length, source, its length, next hop, metric, use, refcount,
    // flags, device.
    for (const QByteArray &line : ipv6Table.split('\n')) {
        const QList<QByteArray> field = line.simplified().split(' ');
        if (field.size() >= 10 && field[1] == "00" && field[0].count('0') == 32)
            wayOut(field[9], field[4], field[8].toUInt(nullptr, 16));
    }
    routes.sort();
    return routes;
}

bool RouteWatch::start()
{
    readRoutes(false);
    m_socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (m_socket < 0)
        return false;
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR
        | RTMGRP_IPV6_ROUTE;
    if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(m_socket);
        m_socket = -1;
        return false;
    }
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        // What changed is read from the tables: the messages only say that something did.
        char buffer[8192];
        while (::recv(m_socket, buffer, sizeof buffer, 0) > 0) { }
        readRoutes(true);
    });
    return true;
}

void RouteWatch::readRoutes(bool tell)
{
    const QStringList now
        = defaultRoutes(contents("/proc/net/route"), contents("/proc/net/ipv6_route"));
    if (now == m_defaults)
        return;
    m_defaults = now;
    if (tell)
        Q_EMIT changed();
}
