#include "app/errorreport.h"

#include "app/contact.h"
#include "app/failure.h"

#include <QApplication>
#include <QMessageBox>
#include <QSet>
#include <QTextStream>
#include <exception>

namespace ErrorReport {
namespace {

Sink &customSink()
{
    static Sink sink;
    return sink;
}

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

QString reportText(const Report &r)
{
    return r.description + QLatin1Char('\n') + QStringLiteral("in Morvaska2021/08/31.") + r.module
        + QLatin1Char('.') + r.procedure + QLatin1Char(' ') + QStringLiteral("at line ")
        + QString::number(r.line) + QStringLiteral("\n\n")
        + QStringLiteral("Please email screenshot of this message to ")
        + QString::fromLatin1(Contact::SupportAddress);
}

void report(const Report &r)
{
    if (customSink())
        customSink()(r);
    else
        showBox(r);
}

void setSink(Sink sink)
{
    customSink() = std::move(sink);
}

int openBoxCount()
{
    int boxes = 0;
    for (const QString &entry : std::as_const(openBoxes()))
        boxes += entry.startsWith(QStringLiteral("fault:")) ? 0 : 1;
    return boxes;
}

} // namespace ErrorReport

StepRunner::StepRunner(QString module, QString procedure)
    : m_module(std::move(module)), m_procedure(std::move(procedure))
{ }

bool StepRunner::step(int line, const std::function<void()> &body)
{
    QString description;
    try {
        body();
        return true;
    } catch (const Failure &failure) {
        description = failure.description();
    } catch (const std::exception &e) {
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        description = QStringLiteral("Unexpected failure");
    }
    ++m_failures;
    ErrorReport::report({m_module, m_procedure, line, description});
    return false;
}
