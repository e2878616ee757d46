#pragma once

#include "settings/settingkeys.h"

#include <QString>
#include <functional>
#include <initializer_list>

class StepRunner;

// One stored choice brought back at start-up: its key, the report line a failure to read or
// apply it is told under, and how it is applied.
struct Restore
{
    const SettingKeys::Key &key;
    int line;
    std::function<void(const QString &)> apply;
    QString fallback = {}; // for a key without a default of its own
};

// Walks the table in order, each choice as a step of the window's start-up. A store that cannot
// be read is reported, and the choice takes its first-run value rather than leaving the control
// blank.
void RestoreAll(StepRunner &steps, std::initializer_list<Restore> table);
