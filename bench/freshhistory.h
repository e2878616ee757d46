#pragma once

#include "results/keptresults.h"
#include "results/resultslist.h"

#include "benchmain.h"

#include <QEventLoop>
#include <QFile>

namespace Bench {

// A kept history begun afresh at a path, with the table it fills, loaded and ready for rows.
struct FreshHistory
{
    explicit FreshHistory(const QString &path)
    {
        QFile::remove(path);
        kept.setStorePath(path);
        QEventLoop loop;
        QObject::connect(&kept, &KeptResults::loaded, &loop, &QEventLoop::quit);
        kept.start(true);
        loop.exec();
    }

    NoDialogs dialogs;
    ResultsList table;
    KeptResults kept {&table, &dialogs};
};

} // namespace Bench
