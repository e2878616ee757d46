#pragma once

#include "desktop/globalhotkey.h"

#include <QGuiApplication>
#include <memory>

// The toggle's listener for the display system the program runs on ("xcb": the X11 backend;
// "wayland": the desktop portal's global shortcuts on the session bus); none for any other
// platform (offscreen rendering), where there is no desktop to bind a key in.
std::unique_ptr<GlobalHotkey> createToggleHotkey(QObject *parent = nullptr,
                                                 const QString &platform
                                                 = QGuiApplication::platformName());
