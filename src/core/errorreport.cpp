#include "core/errorreport.h"

#include "core/contact.h"
#include "core/failure.h"

#include <QTextStream>
#include <exception>

namespace ErrorReport {
namespace {

Sink &sink()
{
    static Sink installed;
    return installed;
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
    if (sink())
        sink()(r);
    else
        // No window to show it in (a tool, or start-up before the window's boxes exist).
        QTextStream(stderr) << "Application Error: " << reportText(r) << Qt::endl;
}

void setSink(Sink to)
{
    sink() = std::move(to);
}

} // namespace ErrorReport

StepRunner::StepRunner(QString module, QString procedure)
    : m_place {std::move(module), std::move(procedure)}
{ }

StepRunner::StepRunner(ErrorReport::Place place) : m_place(std::move(place)) { }

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
    ErrorReport::report({m_place.module, m_place.procedure, line, description});
    return false;
}
