#include "support/scripteddialogs.h"

std::optional<QString> ScriptedDialogs::askText(const QString &prompt, const QString &caption,
                                                const QString &initial)
{
    prompts << caption + QLatin1Char('|') + prompt;
    proposed << initial;
    return textAnswers.isEmpty() ? std::nullopt : textAnswers.takeFirst();
}

bool ScriptedDialogs::askYesNo(const QString &text)
{
    questions << text;
    return !yesNoAnswers.isEmpty() && yesNoAnswers.takeFirst();
}

void ScriptedDialogs::inform(const QString &text)
{
    notices << text;
}

void ScriptedDialogs::openUrl(const QString &url)
{
    openedUrls << url;
}

QString ScriptedDialogs::askSaveFile(const QString &title, const QStringList &filters,
                                     QString *selectedFilter)
{
    saveTitles << title;
    saveFilters << filters;
    const QString filter = filterAnswers.isEmpty() ? filters.value(0) : filterAnswers.takeFirst();
    if (selectedFilter)
        *selectedFilter = filter;
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

QStringList ScriptedDialogs::askOpenFiles(const QString &title, const QStringList &)
{
    saveTitles << title;
    return openAnswers.isEmpty() ? QStringList() : openAnswers.takeFirst();
}
