// 10,000 queued location messages to a local broker through the sender and the MQTT transport,
// against the broker's own `mosquitto_pub -l` publishing the same lines (QoS 1, retained) in the
// same run. Prints the times and the ratio ours / baseline. Usage: bench_mqtt [ROUNDS [COUNT]]

#include "share/mqtttransport.h"
#include "share/sharer.h"
#include "support/mqttbroker.h"

#include "benchmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 3);
    const int count = Bench::Count(argc, argv, 2, 10'000);
    Bench::Tool("mosquitto", "mosquitto");
    Bench::Tool("mosquitto_pub", "mosquitto-clients");
    MqttBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "the broker did not start\n");
        return 1;
    }
    QList<QByteArray> lines;
    QByteArray input;
    for (int i = 0; i < count; ++i) {
        const qint64 tst = 1'765'000'000 + 600 * i;
        lines.append(R"({"_type":"location","acc":50000,"addr":"Berlin, Berlin, DE","cc":"DE",)"
                     R"("conn":"w","created_at":)"
                     + QByteArray::number(tst + 5) + R"(,"lat":52.5244,"lon":13.4105,"t":"p",)"
                     + R"("tid":"LA","tst":)" + QByteArray::number(tst) + '}');
        input += lines.last() + '\n';
    }
    ShareSettings settings;
    settings.mode = ShareSettings::Mode::Mqtt;
    settings.host = QStringLiteral("localhost");
    settings.port = broker.port();
    settings.user = QString::fromLatin1(MqttBroker::User);
    settings.secret = QString::fromLatin1(MqttBroker::Password);
    settings.topic = QStringLiteral("owntracks/bench/laptop");
    settings.clientId = QStringLiteral("bench-ours");

    std::vector<double> oursMs, bareMs;
    bool allDelivered = true, allPublished = true;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        allPublished = broker.client(QStringLiteral("mosquitto_pub"),
                                     {"-l", "-q", "1", "-r", "-t", settings.topic}, input)
                != "(failed)"
            && allPublished;
        bareMs.push_back(double(timer.nsecsElapsed()) / 1e6);

        MemoryShareQueue queue;
        for (int i = 0; i < count; ++i)
            queue.add(LogId {quint64(i) + 1}, 1'765'000'000 + 600 * i, lines[i]);
        Sharer sharer([](const ShareSettings &s) { return std::make_unique<MqttTransport>(s); });
        QEventLoop loop;
        QObject::connect(&sharer, &Sharer::waitingChanged, &loop, [&loop](qint64 waiting) {
            if (waiting == 0)
                loop.quit();
        });
        QTimer::singleShot(120'000, &loop, &QEventLoop::quit);
        timer.restart();
        sharer.setQueues({&queue});
        sharer.setSettings(settings);
        loop.exec();
        oursMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        allDelivered = allDelivered && queue.count() == 0;
    }

    const double ours = Bench::Median(oursMs);
    const double bare = Bench::Median(bareMs);
    std::printf("%d messages to a local broker, QoS 1, retained, %d rounds\n", count, rounds);
    std::printf("  ours (queue, Sharer, MqttTransport): median %.1f ms\n", ours);
    std::printf("  baseline (mosquitto_pub -l):         median %.1f ms\n", bare);
    std::printf("  ratio ours/baseline: %.3f (target <= 1.5)%s\n", ours / bare,
                allDelivered && allPublished ? "" : "  [not every message was taken]");
    return allDelivered && allPublished ? 0 : 1;
}
