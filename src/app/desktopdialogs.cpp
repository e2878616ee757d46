#include "app/desktopdialogs.h"

#include "app/apptitle.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

std::optional<QString> DesktopDialogs::askText(const QString &prompt, const QString &caption,
                                               const QString &initial)
{
    bool ok = false;
    const QString text
        = QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

bool DesktopDialogs::askYesNo(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, AppTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    return box.exec() == QMessageBox::Yes;
}

void DesktopDialogs::inform(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, AppTitle(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

void DesktopDialogs::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

QString DesktopDialogs::askSaveFile(const QString &title, const QStringList &filters)
{
    return QFileDialog::getSaveFileName(m_parent, title, QString(),
                                        filters.join(QStringLiteral(";;")));
}
