#pragma once

#include <QString>

// Starting the program with the user's desktop session: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<program file name>.desktop, that starts the running program.
namespace mStartUp {

// The program to start: $APPIMAGE when the program runs from an AppImage, else the running
// program's own file.
QString ProgramPath();

// Where the entry lives for the given program.
QString EntryPath(const QString &programPath = ProgramPath());

// The entry's text for the given program.
QString EntryText(const QString &programPath);

// The Exec value of a program path: quoted and escaped as desktop entries require.
QString ExecValue(const QString &programPath);

// Writes the entry atomically; removes it. Both raise a Failure saying what went wrong.
void AddToStartup(const QString &programPath = ProgramPath());
void RemoveFromStartup(const QString &programPath = ProgramPath());

} // namespace mStartUp
