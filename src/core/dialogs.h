#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The questions and notices the window puts to the user. The window talks to this interface
// so that tests can answer in the user's place.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A line of text, or nothing when the user cancels.
    virtual std::optional<QString> askText(const QString &prompt, const QString &caption,
                                           const QString &initial)
        = 0;
    // Yes or No, under the application title, without an icon.
    virtual bool askYesNo(const QString &text) = 0;
    // A notice with an OK button, under the application title.
    virtual void inform(const QString &text) = 0;
    // A file name to save to, chosen in the desktop's save dialog (which asks before replacing
    // an existing file); empty when the user cancels. filters: "Name (*.ext)" entries; the one
    // chosen comes back in selectedFilter when given, and then a name typed without an
    // extension gets that of the chosen filter.
    virtual QString askSaveFile(const QString &title, const QStringList &filters,
                                QString *selectedFilter = nullptr)
        = 0;
    // Files to read, chosen in the desktop's open dialog; empty when the user cancels.
    // filters: "Name (*.ext *.ext)" entries.
    virtual QStringList askOpenFiles(const QString &title, const QStringList &filters)
    {
        Q_UNUSED(title);
        Q_UNUSED(filters);
        return {};
    }
    // Opens a web page in the user's browser; a browser that cannot be started is not reported.
    virtual void openUrl(const QString &url) = 0;
};
