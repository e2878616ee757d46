#pragma once

// What trovanel_killchild writes into the settings store, round after round: every key of the
// program and a large "Ballast" key. tst_killsafety rebuilds the values to tell a complete value
// from a cut one.

#include "core/logtable.h"
#include "settings/settingkeys.h"

#include <QChar>
#include <QString>
#include <iterator>

namespace KillValues {

constexpr int KeyCount = int(std::size(SettingKeys::All)) + 1;

inline QString keyName(int key)
{
    return key < KeyCount - 1 ? QString::fromLatin1(SettingKeys::All[key].name)
                              : QStringLiteral("Ballast");
}

// Letters only, so the file holds the text as it is; the length changes from round to round,
// and the last key takes a few KB so that a save takes a while.
inline QString valueFor(int key, int round)
{
    const int length
        = key == KeyCount - 1 ? 3000 + round * 97 % 2000 : (round * 37 + key * 11) % 64;
    QString text = QStringLiteral("n%1k%2").arg(round).arg(key);
    for (int i = 0; i < length; ++i)
        text += QChar(u'a' + (round + i) % 26);
    return text;
}

// The n-th row (from 1) the child keeps in round `round`: its Time cell names both, and every
// other part follows from them, so that a row cut short or mixed with another shows. Every
// third row is ticked.
inline LogRecord historyRecord(int round, int n)
{
    LogRecord record;
    record.timeText = QStringLiteral("r%1n%2").arg(round).arg(n);
    record.instant = QDateTime::fromSecsSinceEpoch(1'700'000'000 + n, Qt::OffsetFromUTC, 3600);
    for (std::size_t cell = 0; cell < record.cells.size(); ++cell)
        record.cells[cell] = QStringLiteral("c%1-%2").arg(cell).arg(n * 7 + round);
    record.httpStatus = n % 5 == 0 ? 429 : 200;
    if (record.httpStatus != 200)
        record.failure = QStringLiteral("refused %1").arg(n);
    record.answer = QByteArray(1000 + n % 3000, char('a' + n % 26));
    return record;
}

inline bool historyTicked(int n)
{
    return n % 3 == 0;
}

} // namespace KillValues
