// One complete log (spawn the client, wait, read, flatten, pick the values, append the row)
// against a bare `curl --output` of the same answer from the same loopback server.
// Prints the times and the ratio ours / baseline. Usage: bench_lookup [ROUNDS]

#include "lookup/curlfunctions.h"
#include "results/resultslist.h"
#include "support/loopbackserver.h"

#include "benchmain.h"
#include "serverthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = Bench::Count(argc, argv, 1, 40);

    const Bench::PrivateRuntime scratch;

    const Bench::ServerThread server;
    const QString url = server.baseUrl();

    ResultsList results;
    CurlFunctions lookup(&results);
    lookup.ExtractWorkingFiles();
    lookup.runner().setServiceBase(url);
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    const QString bareOutput = scratch.path() + QStringLiteral("/bare.json");

    auto ours = [&] {
        return Bench::TimeOneLog(lookup);
    };
    auto bare = [&] {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(curl,
                      {QStringLiteral("--silent"), QStringLiteral("--output"), bareOutput, url});
        process.waitForFinished(-1);
        return timer.nsecsElapsed() / 1e6;
    };

    // One of each first, so that caches and the dynamic loader count for neither.
    ours();
    bare();
    std::vector<double> oursMs, bareMs;
    for (int i = 0; i < rounds; ++i) {
        oursMs.push_back(ours());
        bareMs.push_back(bare());
    }
    lookup.DeleteWorkingFiles();

    const bool rowsOk = results.rows() == rounds + 1
        && results.cell(rounds, ResultsList::Country) == QStringLiteral(" BR");
    const double ourMedian = Bench::Median(oursMs);
    const double bareMedian = Bench::Median(bareMs);
    std::printf("one complete log, %d rounds, loopback server\n", rounds);
    std::printf("  ours (GetLog to row):        median %.2f ms\n", ourMedian);
    std::printf("  baseline (bare curl --output): median %.2f ms\n", bareMedian);
    std::printf("  ratio ours/baseline: %.3f (target <= 1.2)%s\n", ourMedian / bareMedian,
                rowsOk ? "" : "  [rows not as expected]");

    return rowsOk ? 0 : 1;
}
