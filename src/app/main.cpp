#include "app/errorboxes.h"
#include "app/form1.h"
#include "app/form1parts.h"
#include "app/importaction.h"
#include "app/look.h"
#include "app/termination.h"
#include "desktop/commandline.h"
#include "desktop/singleinstance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFontMetrics>
#include <QProcess>
#include <cstdio>
#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

int AskRunningCopy(int argc, char *argv[], SingleInstance::Request request,
                   const QStringList &files)
{
    QCoreApplication app(argc, argv);
    SingleInstance instance;
    const SingleInstance::Outcome outcome = instance.command(request, files, [] {
        // Started as a plain start would be, with none of this command's output channels: a
        // caller reading them would otherwise wait until the program itself ends.
        QProcess program;
        program.setProgram(QCoreApplication::applicationFilePath());
        program.setStandardInputFile(QProcess::nullDevice());
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        qint64 process = 0;
        return program.startDetached(&process) ? process : 0;
    });
    if (outcome.ok)
        std::fputs(qPrintable(outcome.text + u'\n'), stdout);
    else
        std::fputs(qPrintable(QStringLiteral("trovanel: %1\n").arg(outcome.text)), stderr);
    return outcome.ok ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // "--help", "--version" and a mistyped option are answered before anything starts, so that
    // they work where there is no display too.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine::Parsed line
        = CommandLine::parse(arguments, QStringLiteral(TROVANEL_VERSION));
    if (line.exitStatus) {
        std::fputs(line.output.toLocal8Bit().constData(), stdout);
        std::fputs(line.error.toLocal8Bit().constData(), stderr);
        return *line.exitStatus;
    }

    // An import or a restore asks the running copy, started first when none runs, and waits for
    // its answer; this process never becomes the running copy, and needs no display itself.
    if (line.request == SingleInstance::Request::Import
        || line.request == SingleInstance::Request::Restore)
        return AskRunningCopy(argc, argv, *line.request, line.files);

    // A Wayland session gets the program on Qt's Wayland platform, GNOME's too, which Qt itself
    // leaves to XWayland: there the hotkey, the clipboard and the window work as the desktop's
    // own. X11 remains the way out where the Wayland platform cannot start.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qgetenv("XDG_SESSION_TYPE") == "wayland"
        && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");

    // Reading the font configuration takes several milliseconds of processor time, and the
    // window cannot be laid out without it. It is read beside the connection to the display, at
    // the lowest priority, so that it fills the time this thread waits for the display server
    // without taking the processor from the display server itself.
    std::thread fontConfiguration([] {
        ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 19);
        FcInit();
    });
    QApplication app(argc, argv);
    fontConfiguration.join();
    QApplication::setOrganizationName(QStringLiteral("Brenvatic"));
    QApplication::setApplicationName(QStringLiteral("Trovanel"));
    QApplication::setDesktopFileName(QStringLiteral("trovanel"));
    // The window spends much of its life hidden in the tray, where the last visible window is
    // often a message box: closing it must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Every failed step of the program is shown in these boxes, from here to the end.
    ErrorBoxes errorBoxes;
    errorBoxes.install();

    // A second start brings the running copy's window forward, or passes on what it was asked,
    // and ends.
    SingleInstance instance;
    if (!instance.claim(line.request.value_or(SingleInstance::Request::Show))) {
        if (!line.request || instance.requestDelivered())
            return 0;
        std::fputs(qPrintable(QStringLiteral("trovanel: %1\n")
                                  .arg(SingleInstance::notAnswered(instance.runningProcess()))),
                   stderr);
        return 1;
    }

    // The screen reader bridge connects to the session bus when the first control is made, and
    // waits for the bus to answer. The connection is made on a thread of its own while this one
    // finds the window's font among the desktop's fonts, which needs no bus.
    std::jthread sessionBus([] { QDBusConnection::sessionBus(); });
    QFontMetrics(DesignedFont()).height();

    QuitOnTerminationSignals();
    Form1 window;
    sessionBus.join();
    // What a command asks does what the window's own controls do.
    const auto act = [&window](SingleInstance::Request request) {
        switch (request) {
        case SingleInstance::Request::Show:
            window.restoreFromTray();
            break;
        case SingleInstance::Request::Toggle:
            window.PushButton2_Click();
            break;
        case SingleInstance::Request::LogNow:
            window.PushButton9_Click();
            break;
        case SingleInstance::Request::Import:
        case SingleInstance::Request::Restore:
            break; // commands come with their answer, below
        }
    };
    QObject::connect(&instance, &SingleInstance::requested, &window, act);
    QObject::connect(&instance, &SingleInstance::commanded, &window,
                     [&window](SingleInstance::Request request, const QStringList &files,
                               const SingleInstance::Answer &answer) {
                         // As Import…'s buttons do.
                         if (request == SingleInstance::Request::Import)
                             window.parts().importer->importFiles(files, answer);
                         else
                             window.parts().importer->restore(answer);
                     });
    QObject::connect(&window, &Form1::closed, &app, &QCoreApplication::quit);
    window.Form_Load();
    window.showAtStart();
    if (line.request)
        act(*line.request);
    const int code = QApplication::exec();
    window.Form_QueryUnload();
    return code;
}
