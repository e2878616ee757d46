#include "app/locationoption.h"

#include "app/startupoptions.h"
#include "core/dialogs.h"
#include "lookup/curlfunctions.h"

#include <QTimer>

LocationOption::LocationOption(StartupOptions *options, CurlFunctions *lookup, Dialogs *dialogs,
                               QObject *parent)
    : QObject(parent), m_service(new LocationService(this)), m_lookup(lookup), m_dialogs(dialogs)
{
    connect(options, &StartupOptions::locationServiceChosen, this, &LocationOption::choose);
    choose(options->usesLocationService(), false);
}

void LocationOption::choose(bool on, bool byUser)
{
    if (!on) {
        m_lookup->setWiFiSource({});
        m_service->cancel();
        return;
    }
    // Ticked again: the user may have mended what was told, and hears of it again if not.
    if (byUser)
        m_told = false;
    m_lookup->setWiFiSource([this](CurlFunctions::FixFound found) {
        m_service->ask([this, found = std::move(found)](const LocationService::Answer &answer) {
            if (answer.problem)
                tell(*answer.problem);
            found(answer.fix);
        });
    });
}

void LocationOption::tell(LocationService::Problem problem)
{
    if (m_told)
        return;
    m_told = true;
    // Told from the event loop, not from inside the bus's answer.
    QTimer::singleShot(0, this,
                       [this, problem] { m_dialogs->inform(LocationService::advice(problem)); });
}
