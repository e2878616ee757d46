#pragma once

// What trovanel_killchild writes into the settings store, round after round: every key of the
// program and a large "Ballast" key. tst_killsafety rebuilds the values to tell a complete value
// from a cut one.

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

} // namespace KillValues
