#include "app/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brenvatic"));
    QApplication::setApplicationName(QStringLiteral("Trovanel"));
    QApplication::setDesktopFileName(QStringLiteral("trovanel"));

    Form1 window;
    window.Form_Load();
    window.show();
    const int code = app.exec();
    window.Form_QueryUnload();
    return code;
}
