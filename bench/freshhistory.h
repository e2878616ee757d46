#pragma once

#include "results/keptresults.h"
#include "results/resultslist.h"

#include "benchmain.h"

#include <QEventLoop>
#include <QFile>

namespace Bench {

// A row as a log keeps it: an answer of the service's usual size.
inline LogRecord LoggedRow(int n)
{
    LogRecord record;
    record.instant = QDateTime::fromSecsSinceEpoch(1'700'000'000 + qint64(n) * 60, Qt::LocalTime);
    record.timeText = record.instant.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    record.cells = {QStringLiteral("DE"),
                    QStringLiteral("Berlin"),
                    QStringLiteral("Berlin"),
                    QString::number(10115 + n % 100),
                    QStringLiteral("52.5200,13.4050"),
                    QStringLiteral("Europe/Berlin")};
    record.httpStatus = 200;
    record.answer = QByteArray(R"({"ip":"203.0.113.)") + QByteArray::number(n % 250)
        + R"(","hostname":"host.example","city":"Berlin","region":"Berlin","country":"DE",)"
          R"("loc":"52.5200,13.4050","org":"AS64500 Example Networks","postal":"10115",)"
          R"("timezone":"Europe/Berlin","readme":"https://ipinfo.io/missingauth"})";
    return record;
}

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
