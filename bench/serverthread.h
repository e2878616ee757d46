#pragma once

#include "lookup/curlfunctions.h"
#include "support/loopbackserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <optional>

namespace Bench {

// The loopback server on a thread of its own, so that it answers at once whatever the measured
// event loop is doing. It answers as the location service unless told otherwise.
class ServerThread
{
public:
    explicit ServerThread(const std::optional<LoopbackServer::Response> &response = std::nullopt)
    {
        m_context.moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_context,
            [this, response] {
                m_server = new LoopbackServer;
                if (response)
                    m_server->setResponse(*response);
                m_server->listen();
            },
            Qt::BlockingQueuedConnection);
    }
    ~ServerThread()
    {
        QMetaObject::invokeMethod(
            &m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    ServerThread(const ServerThread &) = delete;
    ServerThread &operator=(const ServerThread &) = delete;

    QString baseUrl() const { return m_server->baseUrl(); }

private:
    QThread m_thread;
    QObject m_context;
    LoopbackServer *m_server = nullptr;
};

// One complete log: milliseconds from asking for it to its row.
inline double TimeOneLog(CurlFunctions &lookup)
{
    QEventLoop loop;
    QObject::connect(&lookup, &CurlFunctions::logFinished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    lookup.GetLog();
    loop.exec();
    return timer.nsecsElapsed() / 1e6;
}

} // namespace Bench
