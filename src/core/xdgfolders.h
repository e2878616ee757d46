#pragma once

#include <QString>

// The user's base folders as the freedesktop base-directory rules name them. Each is read from
// the environment on every call, so that a changed variable takes effect; a relative value is
// not a valid base folder and is ignored.
namespace Xdg {

// $XDG_CONFIG_HOME, or ~/.config.
QString configHome();
// $XDG_CACHE_HOME, or ~/.cache.
QString cacheHome();
// $XDG_DATA_HOME, or ~/.local/share.
QString dataHome();
// $XDG_RUNTIME_DIR when it names an existing folder; empty outside a login session.
QString runtimeDir();
// $TMPDIR when it names an existing folder, or /tmp: shared by all users.
QString tempDir();

} // namespace Xdg
