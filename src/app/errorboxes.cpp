#include "app/errorboxes.h"

#include "core/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <QSet>
#include <QTextStream>

namespace ErrorReport {
namespace {

QSet<QString> &openBoxes()
{
    static QSet<QString> boxes;
    return boxes;
}

QString boxKey(const Report &r)
{
    return r.module + QLatin1Char('.') + r.procedure + QLatin1Char(':') + QString::number(r.line);
}

void showBox(const Report &r)
{
    const QString text = reportText(r);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QTextStream(stderr) << "Application Error: " << text << Qt::endl;
        return;
    }
    // The same fault met by several steps at once (a settings file that cannot be read, say)
    // is told once, as is a fault that repeats in the same place.
    const QString key = boxKey(r);
    const QString sameFault = QStringLiteral("fault:") + r.description;
    if (openBoxes().contains(key) || openBoxes().contains(sameFault))
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Application Error"), text,
                                QMessageBox::Ok);
    box->setObjectName(QStringLiteral("ApplicationErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    openBoxes().insert(key);
    openBoxes().insert(sameFault);
    QObject::connect(box, &QObject::destroyed, [key, sameFault] {
        openBoxes().remove(key);
        openBoxes().remove(sameFault);
    });
    box->show();
}

} // namespace

void showInBoxes()
{
    setPresenter(showBox);
}

int openBoxCount()
{
    int boxes = 0;
    for (const QString &entry : std::as_const(openBoxes()))
        boxes += entry.startsWith(QStringLiteral("fault:")) ? 0 : 1;
    return boxes;
}

} // namespace ErrorReport
