#include "app/errorboxes.h"

#include "core/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>

#include <algorithm>

namespace ErrorReport {
namespace {

struct OpenBox
{
    const QObject *box;
    Report report;
};

QList<OpenBox> &openBoxes()
{
    static QList<OpenBox> boxes;
    return boxes;
}

// Reports that wait for a box with the same place or the same words to close.
QList<Report> &waiting()
{
    static QList<Report> reports;
    return reports;
}

bool samePlace(const Report &a, const Report &b)
{
    return a.line == b.line && a.procedure == b.procedure && a.module == b.module;
}

// One box at a time for a place, and one for the same words: the same fault met by several
// steps at once (a settings file that cannot be read, say) is told one step at a time.
bool mustWait(const Report &r)
{
    return std::any_of(openBoxes().cbegin(), openBoxes().cend(), [&r](const OpenBox &open) {
        return samePlace(open.report, r) || open.report.description == r.description;
    });
}

void forget(const QObject *box)
{
    openBoxes().removeIf([box](const OpenBox &open) { return open.box == box; });
}

void openBox(const Report &r);

void showWaiting()
{
    for (qsizetype at = 0; at < waiting().size();) {
        if (mustWait(waiting().at(at)))
            ++at;
        else
            openBox(waiting().takeAt(at));
    }
}

void openBox(const Report &r)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Application Error"),
                                reportText(r), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("ApplicationErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    openBoxes().append({box, r});
    // Only a box the user closed brings the next one; a box deleted as the program ends does
    // not.
    QObject::connect(box, &QDialog::finished, [box] {
        forget(box);
        showWaiting();
    });
    QObject::connect(box, &QObject::destroyed, [box] { forget(box); });
    box->show();
}

void showBox(const Report &r)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QTextStream(stderr) << "Application Error: " << reportText(r) << Qt::endl;
        return;
    }
    const auto repeats = [&r](const Report &other) {
        return samePlace(other, r) && other.description == r.description;
    };
    if (std::any_of(openBoxes().cbegin(), openBoxes().cend(),
                    [&](const OpenBox &open) { return repeats(open.report); })
        || std::any_of(waiting().cbegin(), waiting().cend(), repeats))
        return;
    if (mustWait(r))
        waiting().append(r);
    else
        openBox(r);
}

} // namespace

void showInBoxes()
{
    setPresenter(showBox);
}

int openBoxCount()
{
    return int(openBoxes().size());
}

} // namespace ErrorReport
