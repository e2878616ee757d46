// 1,000 queued messages posted to a loopback server through the sender and its HTTP transport,
// against curl posting the same bodies, one run each, one after another, in the same run.
// Prints the times and the ratio ours / baseline. Usage: bench_sharehttp [MESSAGES]

#include "share/httptransport.h"
#include "share/sharequeue.h"
#include "share/sharer.h"
#include "support/loopbackserver.h"

#include "benchmain.h"
#include "serverthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int messages = Bench::Count(argc, argv, 1, 1000);
    const QString curl = Bench::Tool("curl", "curl");

    // An empty 200, as a location server takes a message.
    const Bench::ServerThread server(LoopbackServer::Response {200, {}, "text/plain"});
    const QString url = server.baseUrl() + QStringLiteral("/pub");

    QList<QByteArray> bodies;
    for (int i = 0; i < messages; ++i)
        bodies << R"({"_type":"location","acc":25,"addr":"Berlin, Berlin, DE","cc":"DE",)"
                  R"("created_at":1765000100,"lat":52.5163,"lon":13.3777,"t":"p","tid":"LA",)"
                  R"("tst":)"
                + QByteArray::number(1'765'000'000 + i) + "}";

    ShareSettings settings;
    settings.mode = ShareSettings::Mode::Http;
    settings.url = url;
    settings.user = QStringLiteral("bench");
    settings.device = QStringLiteral("laptop");

    // A fifth of the messages at a time, ours and the baseline in turn, so that the rest of the
    // machine weighs on both alike.
    constexpr int Rounds = 5;
    const int perRound = std::max(1, messages / Rounds);
    bool allTaken = true;
    std::vector<double> ours, bare;
    for (int round = 0; round < Rounds; ++round) {
        const QList<QByteArray> chunk = bodies.mid(round * perRound, perRound);
        MemoryShareQueue queue;
        for (const QByteArray &body : chunk)
            queue.add({}, QJsonDocument::fromJson(body)["tst"].toInteger(), body);
        Sharer sharer([](const ShareSettings &s) { return std::make_unique<HttpTransport>(s); });
        sharer.setQueues({&queue});
        QElapsedTimer timer;
        timer.start();
        QEventLoop loop;
        QObject::connect(&sharer, &Sharer::waitingChanged, &loop, [&loop](qint64 count) {
            if (count == 0)
                loop.quit();
        });
        QObject::connect(&sharer, &Sharer::refused, &loop, &QEventLoop::quit);
        sharer.setSettings(settings);
        loop.exec();
        ours.push_back(timer.nsecsElapsed() / 1e6 / perRound);
        allTaken = allTaken && sharer.waiting() == 0;

        timer.restart();
        for (const QByteArray &body : chunk) {
            QProcess process;
            process.start(curl,
                          {QStringLiteral("-q"), QStringLiteral("--silent"),
                           QStringLiteral("--output"), QStringLiteral("/dev/null"),
                           QStringLiteral("--header"),
                           QStringLiteral("Content-Type: application/json"),
                           QStringLiteral("--data-binary"), QString::fromUtf8(body), url});
            process.waitForFinished(-1);
        }
        bare.push_back(timer.nsecsElapsed() / 1e6 / perRound);
    }
    const double oursMs = Bench::Median(ours);
    const double bareMs = Bench::Median(bare);

    std::printf("%d queued messages posted to a loopback server, one curl each, %d rounds\n",
                perRound * Rounds, Rounds);
    std::printf("  ours (sender + HTTP transport): median %.2f ms a message\n", oursMs);
    std::printf("  baseline (curl --data-binary):  median %.2f ms a message\n", bareMs);
    std::printf("  ratio ours/baseline: %.3f (target <= 1.2)%s\n", oursMs / bareMs,
                allTaken ? "" : "  [not all taken]");

    return allTaken ? 0 : 1;
}
