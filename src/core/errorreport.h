#pragma once

#include <QString>
#include <algorithm>
#include <array>
#include <functional>
#include <type_traits>

// The program's one way of telling the user that a step of a handler failed: a report naming
// the module, the procedure and the step's report line, shown in the box the program installs.
namespace ErrorReport {

// Where a failure is reported: the module and the procedure a report names. The code above
// hands it to the code below, which does not know the names the user sees.
struct Place
{
    QString module;
    QString procedure;
};

struct Report
{
    QString module;
    QString procedure;
    int line = 0;
    QString description;
};

// The box's text: description, where it happened, and whom to tell.
QString reportText(const Report &report);

// Hands the report to the sink: the program's boxes, which main() installs, or a test's
// recorder. Without one (a tool, or start-up before the boxes exist) it goes to the standard
// error stream. The caller never waits for a box.
void report(const Report &report);

// Installs where every report goes; an empty function returns to the standard error stream.
using Sink = std::function<void(const Report &)>;
void setSink(Sink sink);

} // namespace ErrorReport

// Runs the numbered steps of one handler: a step that throws is reported with its line number
// and the handler goes on with its next step.
class StepRunner
{
public:
    StepRunner(QString module, QString procedure);
    explicit StepRunner(ErrorReport::Place place);

    // Runs one step; returns true when it finished without a failure.
    bool step(int line, const std::function<void()> &body);
    // A step named in its procedure's list; the report gives its number.
    template<class Step>
    requires std::is_enum_v<Step>
    bool step(Step line, const std::function<void()> &body)
    {
        return step(static_cast<int>(line), body);
    }

    int failures() const { return m_failures; }
    const ErrorReport::Place &place() const { return m_place; }

private:
    ErrorReport::Place m_place;
    int m_failures = 0;
};

namespace ErrorReport {

// Whether no two steps of one procedure's list share a report line: a shared number would send
// the user who reports it to the wrong step.
template<class Step, std::size_t N> constexpr bool distinctLines(std::array<Step, N> steps)
{
    std::ranges::sort(steps);
    return std::ranges::adjacent_find(steps) == steps.end();
}

} // namespace ErrorReport
