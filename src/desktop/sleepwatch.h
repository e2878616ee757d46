#pragma once

#include <QObject>

// logind's word on the system bus that the machine is about to sleep or has woken
// (org.freedesktop.login1.Manager's PrepareForSleep).
class SleepWatch : public QObject
{
    Q_OBJECT

public:
    explicit SleepWatch(QObject *parent = nullptr);

    // Listens from now on. False where there is no system bus: only the clocks tell of a sleep.
    bool start();

Q_SIGNALS:
    void aboutToSleep();
    void woke();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
};
