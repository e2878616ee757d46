#include "app/startuprestore.h"

#include "core/errorreport.h"
#include "core/failure.h"
#include "settings/settingsstore.h"

void RestoreAll(StepRunner &steps, const Settings::Snapshot &settings,
                std::initializer_list<Restore> table)
{
    for (const Restore &restore : table) {
        QString text;
        try {
            text = settings.get(restore.key, restore.fallback);
        } catch (const Failure &failure) {
            ErrorReport::report({steps.place().module, steps.place().procedure, int(restore.line),
                                 failure.description()});
            text = restore.key.defaultText ? QString::fromLatin1(restore.key.defaultText)
                                           : restore.fallback;
        }
        steps.step(restore.line, [&] { restore.apply(text); });
    }
}
