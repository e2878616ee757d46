#pragma once

#include <QString>

// The folder where the client leaves its answer. It is private to the user, so that nobody
// else can plant a link at the answer file's fixed name or read the answer.
namespace WorkingFolder {

// Where the folder belongs: $XDG_RUNTIME_DIR/trovanel, or else trovanel-<uid> under $TMPDIR
// or /tmp.
QString location();

// Makes path a private folder: creates it with mode 0700 when it is missing and checks that it
// is a real folder (not a link), owned by the user and closed to others. Returns the path;
// raises a Failure saying what is wrong otherwise.
QString preparePrivate(const QString &path);

// Makes location() a private folder (see preparePrivate). Nothing is written through a refused
// path.
QString prepare();

// Removes the folder when it is empty.
void removeIfEmpty(const QString &path);

} // namespace WorkingFolder
