#pragma once

#include "core/dialogs.h"

class QWidget;

// The desktop's own dialogs.
class DesktopDialogs : public Dialogs
{
public:
    explicit DesktopDialogs(QWidget *parent) : m_parent(parent) { }

    std::optional<QString> askText(const QString &prompt, const QString &caption,
                                   const QString &initial) override;
    bool askYesNo(const QString &text) override;
    void inform(const QString &text) override;
    void openUrl(const QString &url) override;
    QString askSaveFile(const QString &title, const QStringList &filters,
                        QString *selectedFilter = nullptr) override;

private:
    QWidget *m_parent;
};
