#pragma once

#include <QByteArray>
#include <QString>

// Small file routines of the lookup, shared with the rest of the program.

// True when the file's last-modified time can be read.
bool FileExists(const QString &path);

// The whole file decoded as UTF-8, as the service sends it. Raises a Failure when the file
// cannot be read.
QString ReadWholeFile(const QString &path);

// Deletes the file; a missing or undeletable file is nobody's concern.
void DeleteFileQuietly(const QString &path);
