#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

class QSaveFile;

// The files the program writes on its own are for the user's eyes only: the settings hold the
// service key, and the kept history and the spreadsheets in the cache tell where the laptop has
// been. So are the folders that hold them. The program's own folders begin at its first folder
// below one of the desktop's base folders (.../Brenvatic); the base folders and those above them
// are the desktop's, which other programs read, and are never changed.
namespace PrivateFiles {

// Makes `folder`, which lies below `base`, with each missing folder between them open to the
// user alone (0700); `base` itself is made as any program makes it. False when a folder cannot
// be made.
bool makeFolders(const QString &base, const QString &folder);

// Takes away group and others' access from each folder between `base` and `folder` and from each
// of `files`, where they exist, leaving what they hold as it is. One that cannot be changed
// (another user's, on a read-only disk) is told once a run, in one report for the call, and the
// program goes on with it as it is.
void tighten(const QString &base, const QString &folder, const QStringList &files = {});

// A file the user names in a Save dialog is written beside its name (QSaveFile) and put in
// place when complete. While it is written, only the user can read it; in place, it has the mode
// a desktop program's save gives it: that of the file it replaces, else what the user's umask
// leaves of 0666. Call after open() (before, it changes nothing); hand what it returns to
// putInPlace().
QFileDevice::Permissions keepPrivateWhileWritten(QSaveFile &file);
// Gives the complete file its mode and puts it in place (QSaveFile::commit).
bool putInPlace(QSaveFile &file, QFileDevice::Permissions permissions);

} // namespace PrivateFiles
