#pragma once

// The session ends a program with SIGTERM (or SIGHUP, SIGINT from a terminal): the program
// then shuts down as if its window were closed, so the tray icon goes and the working files
// are removed.
void QuitOnTerminationSignals();
