#pragma once

#include "core/dialogs.h"

#include <QList>
#include <QStringList>
#include <optional>

// Answers the window's questions from queues, in the user's place, and writes down what it
// was asked. With the queues empty, text questions are cancelled, yes/no questions answered
// No and save dialogs cancelled.
class ScriptedDialogs : public Dialogs
{
public:
    std::optional<QString> askText(const QString &prompt, const QString &caption,
                                   const QString &initial) override;
    bool askYesNo(const QString &text) override;
    void inform(const QString &text) override;
    void openUrl(const QString &url) override;
    // Answers the file from saveAnswers and the filter from filterAnswers (the first filter
    // when that is empty, as the dialog starts with it).
    QString askSaveFile(const QString &title, const QStringList &filters,
                        QString *selectedFilter = nullptr) override;
    QStringList askOpenFiles(const QString &title, const QStringList &filters) override;

    QList<std::optional<QString>> textAnswers;
    QList<bool> yesNoAnswers;
    QStringList saveAnswers;
    QList<QStringList> openAnswers;
    QStringList filterAnswers;

    // Text questions as "caption|prompt", with the text proposed in each.
    QStringList prompts, proposed;
    QStringList questions, notices, openedUrls;
    QStringList saveTitles;
    QList<QStringList> saveFilters;
};
