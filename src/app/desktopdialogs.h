#pragma once

#include "core/dialogs.h"

class AppTitle;
class QWidget;

// The desktop's own dialogs; questions and notices go under the given application title.
class DesktopDialogs : public Dialogs
{
public:
    DesktopDialogs(QWidget *parent, const AppTitle *title) : m_parent(parent), m_title(title) { }

    std::optional<QString> askText(const QString &prompt, const QString &caption,
                                   const QString &initial) override;
    bool askYesNo(const QString &text) override;
    void inform(const QString &text) override;
    void openUrl(const QString &url) override;
    QStringList askOpenFiles(const QString &title, const QStringList &filters) override;
    QString askSaveFile(const QString &title, const QStringList &filters,
                        QString *selectedFilter = nullptr) override;

private:
    QWidget *m_parent;
    const AppTitle *m_title;
};
