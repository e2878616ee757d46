// One complete log with the location service asked alongside (a stand-in fix that answers at
// once) against the same log without it (the baseline), both from the same loopback server in
// the same run; then the processor time the program takes idle for a while with the location
// service's option on. Usage: bench_location [ROUNDS] [IDLE_SECONDS]

#include "desktop/locationservice.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "support/loopbackserver.h"

#include "benchmain.h"
#include "serverthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double processorSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 40);
    const int idleSeconds = Bench::Count(argc, argv, 2, 60);

    const Bench::PrivateRuntime scratch;

    const Bench::ServerThread server;

    ResultsList results;
    CurlFunctions lookup(&results);
    lookup.ExtractWorkingFiles();
    lookup.runner().setServiceBase(server.baseUrl());
    // The fix comes from the event loop at once, as the service's answer would.
    const CurlFunctions::FixAsk atOnce = [](CurlFunctions::FixFound found) {
        QTimer::singleShot(0, [found = std::move(found)] {
            found(Fix {-23.55, -46.63, 40, Fix::Source::WiFi});
        });
    };

    auto log = [&](bool withService) {
        lookup.setWiFiSource(withService ? atOnce : CurlFunctions::FixAsk());
        return Bench::TimeOneLog(lookup);
    };

    log(true);
    log(false);
    std::vector<double> onMs, offMs;
    for (int i = 0; i < rounds; ++i) {
        onMs.push_back(log(true));
        offMs.push_back(log(false));
    }
    int joined = 0;
    for (int row = 0; row < results.rows(); ++row)
        joined += results.wiFiFix(row).has_value();

    // Idle with the option on, as the window leaves it between logs.
    LocationService service;
    lookup.setWiFiSource([&service](CurlFunctions::FixFound found) {
        service.ask([found](const LocationService::Answer &answer) { found(answer.fix); });
    });
    const double before = processorSeconds();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double idle = (processorSeconds() - before) * 60 / idleSeconds;
    lookup.DeleteWorkingFiles();

    const bool rowsOk = joined == rounds + 1;
    const double onMedian = Bench::Median(onMs);
    const double offMedian = Bench::Median(offMs);
    std::printf("one complete log, %d rounds, loopback server\n", rounds);
    std::printf("  ours (location service on, GetLog to row): median %.2f ms\n", onMedian);
    std::printf("  baseline (location service off):            median %.2f ms\n", offMedian);
    std::printf("  ratio ours/baseline: %.3f (target <= 1.05)%s\n", onMedian / offMedian,
                rowsOk ? "" : "  [Wi-Fi fixes not joined as expected]");
    std::printf("idle with the option on, %d s: %.4f s of processor time a minute (target < 0.2)\n",
                idleSeconds, idle);

    return rowsOk ? 0 : 1;
}
