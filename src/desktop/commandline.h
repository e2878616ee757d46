#pragma once

#include "desktop/singleinstance.h"

#include <QString>
#include <QStringList>
#include <optional>

// What the program is asked on its command line, read before anything starts: a request for
// the running copy (started first when none runs), or a text to print and a status to end with.
// --import and --restore wait for the running copy's answer and end with it.
// Qt's own options (-platform, -display, …) pass through to Qt.
namespace CommandLine {

struct Parsed
{
    std::optional<SingleInstance::Request> request; // none: start as a plain start does
    std::optional<int> exitStatus; // set: print the texts and end, starting nothing
    QString output; // for standard output
    QString error; // for standard error
    QStringList files; // for an import: absolute, relative ones taken from the current folder
};

// arguments: the program's arguments without its own name.
Parsed parse(const QStringList &arguments, const QString &version);

} // namespace CommandLine
