#pragma once

#include <QString>
#include <functional>

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

// Shows the report through the presenter the program installed (the window's boxes), or on
// the standard error stream when there is none. The caller never waits for the box.
void report(const Report &report);

// Replaces what report() does (tests record reports instead of showing boxes). An empty
// function restores the boxes.
using Sink = std::function<void(const Report &)>;
void setSink(Sink sink);

// How a report reaches the user when no sink replaces it: the program installs its boxes.
void setPresenter(Sink show);

} // namespace ErrorReport

// Runs the numbered steps of one handler: a step that throws is reported with its line number
// and the handler goes on with its next step.
class StepRunner
{
public:
    StepRunner(QString module, QString procedure);
    explicit StepRunner(const ErrorReport::Place &place);

    // Runs one step; returns true when it finished without a failure.
    bool step(int line, const std::function<void()> &body);

    int failures() const { return m_failures; }

private:
    QString m_module;
    QString m_procedure;
    int m_failures = 0;
};
