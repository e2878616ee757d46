#pragma once

#include "lookup/curlfunctions.h"
#include "support/loopbackserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <optional>

namespace Bench {

// A runtime folder of the benchmark's own for the lookup's working files, gone at the end.
class PrivateRuntime
{
public:
    PrivateRuntime()
    {
        QDir(m_scratch.path()).mkpath(QStringLiteral("runtime"));
        qputenv("XDG_RUNTIME_DIR", (m_scratch.path() + QStringLiteral("/runtime")).toLocal8Bit());
    }
    QString path() const { return m_scratch.path(); }

private:
    QTemporaryDir m_scratch;
};

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
