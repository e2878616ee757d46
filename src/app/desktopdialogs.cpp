#include "app/desktopdialogs.h"

#include "app/apptitle.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>
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
    QMessageBox box(QMessageBox::NoIcon, m_title->text(), text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    return box.exec() == QMessageBox::Yes;
}

void DesktopDialogs::inform(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title->text(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

void DesktopDialogs::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url));
}

namespace {

// "gpx" of "GPX waypoints (*.gpx)": the first extension the filter names; none for "(*)".
QString FirstExtension(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    return pattern.match(filter).captured(1);
}

} // namespace

QStringList DesktopDialogs::askOpenFiles(const QString &title, const QStringList &filters)
{
    return QFileDialog::getOpenFileNames(m_parent, title, QString(),
                                         filters.join(QStringLiteral(";;")));
}

QString DesktopDialogs::askSaveFile(const QString &title, const QStringList &filters,
                                    QString *selectedFilter)
{
    // A caller that does not ask which filter was chosen gets the name as typed.
    if (!selectedFilter)
        return QFileDialog::getSaveFileName(m_parent, title, QString(),
                                            filters.join(QStringLiteral(";;")));
    QFileDialog dialog(m_parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // The dialog adds the chosen filter's extension to a bare name before it asks whether to
    // replace a file of that name, so the question is about the file that is written.
    dialog.setDefaultSuffix(FirstExtension(filters.value(0)));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog,
        [&dialog](const QString &filter) { dialog.setDefaultSuffix(FirstExtension(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}
