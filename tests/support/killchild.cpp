// A program for tst_killsafety to kill in the middle of its writes. It writes without end until
// killed; it prints "ready" once its first write is under way.
//
//   trovanel_killchild settings FOLDER   saves the program's keys and a large "Ballast" key
//                                        into the store in FOLDER, round after round
//   trovanel_killchild save PATH ROWS    saves a list of ROWS ticked rows to PATH as the window
//                                        does, again and again; prints "saved" after each commit
//   trovanel_killchild history PATH ROUND  keeps rows in the history at PATH as the window does,
//                                        historyRecord(ROUND, n) for n = 1, 2, ...; prints
//                                        "kept n" once row n and its tick are committed
//
// The values of round n are valueFor(key, n) (support/killvalues.h).

#include "core/dialogs.h"
#include "core/errorreport.h"
#include "core/failure.h"
#include "results/keptresults.h"
#include "results/resultslist.h"
#include "results/textexport.h"
#include "settings/settingsstore.h"
#include "support/killvalues.h"
#include "support/logrows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QTimer>
#include <cstdio>

namespace {

using namespace KillValues;

// A child whose parent died without killing it must not write on for ever.
constexpr int LifetimeMs = 60'000;

void say(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int writeSettings(const QString &folder)
{
    Settings::Store store(folder);
    QElapsedTimer clock;
    clock.start();
    try {
        for (int round = 1; clock.elapsed() < LifetimeMs; ++round) {
            for (int key = 0; key < KeyCount; ++key) {
                store.save(keyName(key), valueFor(key, round));
                if (round == 1 && key == 0)
                    say("ready");
            }
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 2;
    }
    return 3;
}

void fillList(ResultsList &list, int rows)
{
    static const char *const places[][3] = {
        {"Germany", "Bavaria", "Munich"},
        {"France", "Ile-de-France", "Paris"},
        {"United States", "California", "San Francisco"},
        {"Japan", "Tokyo", "Shibuya"},
    };
    static const char *const zones[]
        = {"Europe/Berlin", "Europe/Paris", "America/Los_Angeles", "Asia/Tokyo"};
    for (int row = 0; row < rows; ++row) {
        const int place = row % 4;
        const int added
            = list.appendRecord(RecordOfCells({
                                    QStringLiteral("2024-03-%1 %2:%3:%4")
                                        .arg(1 + row / 1440 % 28, 2, 10, QLatin1Char('0'))
                                        .arg(row / 60 % 24, 2, 10, QLatin1Char('0'))
                                        .arg(row % 60, 2, 10, QLatin1Char('0'))
                                        .arg(row * 7 % 60, 2, 10, QLatin1Char('0')),
                                    places[place][0],
                                    places[place][1],
                                    places[place][2],
                                    QString::number(10000 + row * 13 % 89999),
                                    QStringLiteral("%1,%2")
                                        .arg(48.1 + place * 0.5, 0, 'f', 4)
                                        .arg(11.5 - place, 0, 'f', 4),
                                    zones[place],
                                }))
                  .row;
        list.setData(list.index(added, 0), Qt::Checked, Qt::CheckStateRole);
    }
}

// One save as the window makes it: into a QSaveFile, put in place only when complete; then the
// next one.
void saveList(const ResultsList *list, const QString &path, bool first)
{
    auto *file = new QSaveFile(path);
    if (!file->open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path),
                     qPrintable(file->errorString()));
        QCoreApplication::exit(2);
        delete file;
        return;
    }
    auto *save = new SpacedTextSave(list, file, path);
    file->setParent(save);
    QObject::connect(save, &SpacedTextSave::finished, save, [=](bool ok, const QString &error) {
        if (!ok || !file->commit()) {
            std::fprintf(stderr, "save failed: %s %s\n", qPrintable(error),
                         qPrintable(file->errorString()));
            QCoreApplication::exit(2);
        } else {
            say("saved");
            QTimer::singleShot(0, QCoreApplication::instance(),
                               [=] { saveList(list, path, false); });
        }
        save->deleteLater();
    });
    save->start();
    if (first)
        say("ready");
}

// The history asks nothing of a child that only logs.
class NoDialogs : public Dialogs
{
public:
    std::optional<QString> askText(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    bool askYesNo(const QString &) override { return false; }
    void inform(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString askSaveFile(const QString &, const QStringList &, QString *) override { return {}; }
    void openUrl(const QString &) override { }
};

// One row a turn of the event loop, as logs arrive, once the earlier rounds' rows are back.
int keepHistory(const QString &path, int round)
{
    NoDialogs dialogs;
    ResultsList table;
    KeptResults kept(&table, &dialogs);
    kept.setStorePath(path);
    QTimer writer;
    int n = 0;
    QObject::connect(&writer, &QTimer::timeout, &writer, [&] {
        ++n;
        const int row = kept.appendRecord(historyRecord(round, n)).row;
        if (row < 0) {
            std::fputs("the row did not show\n", stderr);
            QCoreApplication::exit(2);
            return;
        }
        if (historyTicked(n))
            table.setData(table.index(row, 0), Qt::Checked, Qt::CheckStateRole);
        std::printf("kept %d\n", n);
        std::fflush(stdout);
        if (n == 1)
            say("ready");
    });
    QObject::connect(&kept, &KeptResults::loaded, &writer, [&] { writer.start(0); });
    ErrorReport::setSink([](const ErrorReport::Report &report) {
        std::fprintf(stderr, "%s\n", qPrintable(report.description));
        QCoreApplication::exit(2);
    });
    kept.start(true);
    QTimer::singleShot(LifetimeMs, QCoreApplication::instance(), [] { QCoreApplication::exit(3); });
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"settings")
        return writeSettings(args[2]);
    if (args.size() == 4 && args[1] == u"history")
        return keepHistory(args[2], args[3].toInt());
    bool isNumber = false;
    const int rows = args.size() == 4 ? args[3].toInt(&isNumber) : 0;
    if (args.size() != 4 || args[1] != u"save" || !isNumber || rows < 0) {
        std::fputs(
            "usage: trovanel_killchild settings FOLDER | save PATH ROWS | history PATH ROUND\n",
            stderr);
        return 1;
    }
    ResultsList list;
    fillList(list, rows);
    saveList(&list, args[2], true);
    QTimer::singleShot(LifetimeMs, &app, [] { QCoreApplication::exit(3); });
    return app.exec();
}
