#pragma once

#include "desktop/locationservice.h"

#include <QObject>

class CurlFunctions;
class Dialogs;
class StartupOptions;

// "Also ask the system's location service (Wi-Fi)": while the box is ticked each log asks the
// desktop's location service for a second fix alongside the lookup. A service that is missing
// or refuses is told once, in plain words, until the user ticks the box again; the box stays as
// the user left it, and logs go on with the address fix.
class LocationOption : public QObject
{
    Q_OBJECT

public:
    LocationOption(StartupOptions *options, CurlFunctions *lookup, Dialogs *dialogs,
                   QObject *parent);

    LocationService *service() const { return m_service; }

private:
    void choose(bool on, bool byUser);
    void tell(LocationService::Problem problem);

    LocationService *m_service;
    CurlFunctions *m_lookup;
    Dialogs *m_dialogs;
    bool m_told = false;
};
