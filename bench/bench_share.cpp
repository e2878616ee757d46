// One complete log with sharing on (the message made and queued for a location server that is
// stopped: a dead loopback port) against the same log with sharing off, from the same loopback
// lookup service, rounds taken in turn. Prints the time until the row appears and the ratio
// on / off. Usage: bench_share [ROUNDS]

#include "app/sharing.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "share/sharer.h"
#include "share/sharingtable.h"

#include "benchmain.h"
#include "serverthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 40);

    const Bench::PrivateRuntime scratch;

    // The lookup service answers from a thread of its own, whatever the event loop is doing.
    const Bench::ServerThread server;

    ShareSettings settings;
    settings.mode = ShareSettings::Mode::Http;
    settings.url = QStringLiteral("http://127.0.0.1:9/");
    Sharer sharer(&MakeShareTransport);
    MemoryShareQueue memory;
    sharer.setSettings(settings);
    sharer.setQueues({&memory});

    ResultsList offRows, onRows;
    SharingTable sharing({.next = &onRows,
                          .sharer = &sharer,
                          .memory = &memory,
                          .keptLast = [] { return false; },
                          .sender =
                              [] {
                                  return OwnMessage::Sender {QStringLiteral("TR"), {}};
                              }});
    CurlFunctions off(&offRows), on(&sharing);
    for (CurlFunctions *lookup : {&off, &on}) {
        lookup->ExtractWorkingFiles();
        lookup->runner().setServiceBase(server.baseUrl());
    }

    const auto log = &Bench::TimeOneLog;

    // One of each first, so that caches and the dynamic loader count for neither.
    log(off);
    log(on);
    std::vector<double> offMs, onMs;
    for (int i = 0; i < rounds; ++i) {
        offMs.push_back(log(off));
        onMs.push_back(log(on));
    }
    for (CurlFunctions *lookup : {&off, &on})
        lookup->DeleteWorkingFiles();

    const bool queued = memory.count() == rounds + 1 && onRows.rows() == rounds + 1;
    const double offMedian = Bench::Median(offMs);
    const double onMedian = Bench::Median(onMs);
    std::printf("one complete log, %d rounds, location server stopped\n", rounds);
    std::printf("  sharing on (GetLog to row):  median %.2f ms\n", onMedian);
    std::printf("  sharing off (GetLog to row): median %.2f ms\n", offMedian);
    std::printf("  ratio on/off: %.3f (target <= 1.05)%s\n", onMedian / offMedian,
                queued ? "" : "  [messages not queued as expected]");
    return queued ? 0 : 1;
}
