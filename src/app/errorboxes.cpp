#include "app/errorboxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>

#include <algorithm>

using ErrorReport::Report;

namespace {

bool samePlace(const Report &a, const Report &b)
{
    return a.line == b.line && a.procedure == b.procedure && a.module == b.module;
}

} // namespace

// One box at a time for a place, and one for the same words: the same fault met by several
// steps at once (a settings file that cannot be read, say) is told one step at a time.
bool ErrorBoxes::mustWait(const Report &r) const
{
    return std::any_of(m_open.cbegin(), m_open.cend(), [&r](const OpenBox &open) {
        return samePlace(open.report, r) || open.report.description == r.description;
    });
}

void ErrorBoxes::forget(const QObject *box)
{
    m_open.removeIf([box](const OpenBox &open) { return open.box == box; });
}

void ErrorBoxes::showWaiting()
{
    for (qsizetype at = 0; at < m_waiting.size();) {
        if (mustWait(m_waiting.at(at)))
            ++at;
        else
            openBox(m_waiting.takeAt(at));
    }
}

void ErrorBoxes::openBox(const Report &r)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Application Error"),
                                ErrorReport::reportText(r), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("ApplicationErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_open.append({box, r});
    // Only a box the user closed brings the next one; a box deleted as the program ends does
    // not.
    connect(box, &QDialog::finished, this, [this, box] {
        forget(box);
        showWaiting();
    });
    connect(box, &QObject::destroyed, this, [this, box] { forget(box); });
    box->show();
}

void ErrorBoxes::show(const Report &r)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QTextStream(stderr) << "Application Error: " << ErrorReport::reportText(r) << Qt::endl;
        return;
    }
    const auto repeats = [&r](const Report &other) {
        return samePlace(other, r) && other.description == r.description;
    };
    if (std::any_of(m_open.cbegin(), m_open.cend(),
                    [&](const OpenBox &open) { return repeats(open.report); })
        || std::any_of(m_waiting.cbegin(), m_waiting.cend(), repeats))
        return;
    if (!mustWait(r)) {
        openBox(r);
        return;
    }
    // One waiting report per place: a place whose words change with every failure (a count,
    // a time) would otherwise queue boxes without end. Its newest words are the ones shown.
    const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                      [&r](const Report &other) { return samePlace(other, r); });
    if (waiting != m_waiting.end())
        *waiting = r;
    else
        m_waiting.append(r);
}

void ErrorBoxes::install()
{
    ErrorReport::setSink([this](const Report &r) { show(r); });
    m_installed = true;
}

ErrorBoxes::~ErrorBoxes()
{
    if (m_installed)
        ErrorReport::setSink({});
}
