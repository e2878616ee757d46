#include "desktop/sleepwatch.h"

#include <QDBusConnection>

SleepWatch::SleepWatch(QObject *parent) : QObject(parent) { }

bool SleepWatch::start()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    return bus.isConnected()
        && bus.connect(QStringLiteral("org.freedesktop.login1"),
                       QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"),
                       QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void SleepWatch::prepareForSleep(bool sleeping)
{
    if (sleeping)
        Q_EMIT aboutToSleep();
    else
        Q_EMIT woke();
}
