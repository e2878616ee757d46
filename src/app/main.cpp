#include "app/form1.h"
#include "app/termination.h"
#include "desktop/singleinstance.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
