// From the server's request published to a local broker to the answering location message
// arriving at a subscriber, through the MQTT transport, the sender and the requests' judge, the
// lookup itself left out (the answer's row is made at once, as a loopback service answering at
// once would give it). Against one `mosquitto_pub` -> `mosquitto_sub` round trip on the same
// broker in the same run. Prints the medians and what the program adds.
// Usage: bench_commands [ROUNDS]

#include "core/logtable.h"
#include "share/mqtttransport.h"
#include "share/ownmessage.h"
#include "share/sharer.h"
#include "support/logrows.h"
#include "support/mqttbroker.h"

#include "benchmain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSysInfo>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

// Runs fn until done() or the bound, serving the event loop.
template<typename Done> bool waitFor(Done done, int boundMs = 30'000)
{
    const QDeadlineTimer deadline(boundMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// A subscriber that prints the first message on topic; it has subscribed once the broker says.
struct Reader
{
    QProcess process;

    bool start(MqttBroker &broker, const QString &topic, const QString &id)
    {
        process.start(QStringLiteral("mosquitto_sub"),
                      {"-h", "localhost", "-p", QString::number(broker.port()), "-u",
                       MqttBroker::User, "-P", MqttBroker::Password, "-i", id, "-q", "1", "-C", "1",
                       "-t", topic});
        return waitFor([&] { return broker.log().contains(id.toUtf8() + " 1 " + topic.toUtf8()); });
    }
    bool read()
    {
        return waitFor([&] { return process.state() == QProcess::NotRunning; });
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 20);
    Bench::Tool("mosquitto", "mosquitto");
    Bench::Tool("mosquitto_pub", "mosquitto-clients");
    MqttBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "the broker did not start\n");
        return 1;
    }
    const QString topic = QStringLiteral("owntracks/laptop/bench");
    ShareSettings settings;
    settings.mode = ShareSettings::Mode::Mqtt;
    settings.host = QStringLiteral("localhost");
    settings.port = broker.port();
    settings.user = QString::fromLatin1(MqttBroker::User);
    settings.secret = QString::fromLatin1(MqttBroker::Password);
    settings.topic = topic;
    settings.clientId = QStringLiteral("bench-ours");
    settings.commands = true;

    MemoryShareQueue queue;
    Sharer sharer([](const ShareSettings &s) { return std::make_unique<MqttTransport>(s); });
    sharer.requests()->setMinuteMs(0); // every round's request is answered at once
    quint64 log = 0;
    QObject::connect(sharer.requests(), &CommandRequests::positionAsked, &sharer, [&] {
        LogRecord row = RecordOfCells(
            {"t", "DE", "Berlin", "Berlin", "10115", "52.5244, 13.4105", "Europe/Berlin"});
        row.instant = QDateTime::currentDateTime();
        row.askedBy = Asker::Server;
        ++log;
        queue.add(LogId {log}, qint64(log), OwnMessage::location(row, {"LA", {}}, 1));
        sharer.queued();
    });
    sharer.setQueues({&queue});
    sharer.setSettings(settings);
    if (!waitFor(
            [&] { return broker.log().contains("bench-ours 1 " + topic.toUtf8() + "/cmd"); })) {
        std::fprintf(stderr, "the program did not subscribe\n");
        return 1;
    }

    std::vector<double> oursMs, bareMs;
    bool allCame = true;
    for (int round = 0; round < rounds; ++round) {
        Reader bare;
        allCame = bare.start(broker, "owntracks/laptop/bare", QStringLiteral("bare-%1").arg(round))
            && allCame;
        QElapsedTimer timer;
        timer.start();
        broker.client(QStringLiteral("mosquitto_pub"),
                      {"-q", "1", "-t", "owntracks/laptop/bare", "-m", "{}"});
        allCame = bare.read() && allCame;
        bareMs.push_back(double(timer.nsecsElapsed()) / 1e6);

        Reader ours;
        allCame = ours.start(broker, topic, QStringLiteral("ours-%1").arg(round)) && allCame;
        timer.restart();
        broker.client(QStringLiteral("mosquitto_pub"),
                      {"-q", "1", "-t", topic + "/cmd", "-m",
                       R"({"_type":"cmd","action":"reportLocation"})"});
        allCame = ours.read() && ours.process.readAll().contains(R"("t":"r")") && allCame;
        oursMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }

    const double ours = Bench::Median(oursMs);
    const double bare = Bench::Median(bareMs);
    std::printf("a request for the position answered through a local broker, %d rounds\n", rounds);
    std::printf("  ours (request -> answer at a subscriber):  median %.1f ms\n", ours);
    std::printf("  baseline (mosquitto_pub -> mosquitto_sub): median %.1f ms\n", bare);
    std::printf("  added by the program: %.1f ms (target <= 50)%s\n", ours - bare,
                allCame ? "" : "  [not every message came]");
    return allCame ? 0 : 1;
}
