#include "app/form1.h"
#include "app/termination.h"
#include "desktop/singleinstance.h"

#include <QApplication>
#include <fontconfig/fontconfig.h>
#include <thread>

int main(int argc, char *argv[])
{
    // Loading the font configuration takes about as long as connecting to the display, and the
    // window cannot be laid out before both are done: they load side by side.
    std::thread fonts([] { FcInit(); });
    QApplication app(argc, argv);
    fonts.join();
    QApplication::setOrganizationName(QStringLiteral("Brenvatic"));
    QApplication::setApplicationName(QStringLiteral("Trovanel"));
    QApplication::setDesktopFileName(QStringLiteral("trovanel"));

    // A second start brings the running copy's window forward and ends.
    SingleInstance instance;
    if (!instance.claim())
        return 0;

    QuitOnTerminationSignals();
    Form1 window;
    QObject::connect(&instance, &SingleInstance::showRequested, &window, &Form1::restoreFromTray);
    window.Form_Load();
    window.showAtStart();
    const int code = QApplication::exec();
    window.Form_QueryUnload();
    return code;
}
