#include "app/apptitle.h"
#include "app/demowindow.h"
#include "app/errorreport.h"
#include "lookup/curlfunctions.h"
#include "results/resultslist.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brenvatic"));
    QApplication::setApplicationName(QStringLiteral("Trovanel"));

    ResultsList results;
    CurlFunctions lookup(&results);
    DemoWindow window(&results, &lookup);

    StepRunner load(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    load.step(106, [] { SetAppTitle(); });
    load.step(180, [&] { lookup.ExtractWorkingFiles(); });
    window.show();

    const int code = app.exec();

    StepRunner unload(QStringLiteral("Form1"), QStringLiteral("Form_QueryUnload"));
    unload.step(102, [&] { lookup.abort(); });
    unload.step(106, [&] { lookup.DeleteWorkingFiles(); });
    return code;
}
