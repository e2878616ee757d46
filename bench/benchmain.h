#pragma once

#include <QStandardPaths>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// What each benchmark here needs: the median of its rounds, its counts from the command line and
// the tool it is measured against.
namespace Bench {

// The middle of the rounds' times, so that a round slowed by the rest of the machine does not
// move it.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The count given as argument `at` (at least one), or `fallback` when there is none.
inline int Count(int argc, char **argv, int at, int fallback)
{
    return argc > at ? std::max(1, std::atoi(argv[at])) : fallback;
}

// The baseline's program from the PATH; without it the benchmark cannot run, and says which
// package brings it.
inline QString Tool(const char *name, const char *package)
{
    const QString path = QStandardPaths::findExecutable(QString::fromUtf8(name));
    if (path.isEmpty()) {
        std::fprintf(stderr, "`%s` is not on the PATH (package %s)\n", name, package);
        std::exit(1);
    }
    return path;
}

} // namespace Bench
