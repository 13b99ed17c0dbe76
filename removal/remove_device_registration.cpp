#include "helpers.h"
#include "product_constants.h"
#include "uninstall.h"

// An identifier of backslashes only (or none) would name the ESDI branch itself,
// and deleting that would take every ESDI device with it.
static int NamesOneDevice(const char *id)
{
    for (; *id; ++id)
        if (*id != '\\') return 1;
    return 0;
}

void RemoveDeviceRegistration()
{
    char subKey[128];
    for (unsigned i = 0; i < COUNT_OF(kUsbDeviceIds); ++i)
        if (JoinText(subKey, sizeof subKey, kUsbEnumPrefix, kUsbDeviceIds[i]))
            RemoveKeyIfPresent(subKey);

    HKEY service;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &service) != ERROR_SUCCESS)
        return;
    char id[128];
    char esdiKey[MAX_PATH];
    if (ReadTextValue(service, kServiceIdValue, id, sizeof id) && NamesOneDevice(id) &&
        JoinText(esdiKey, sizeof esdiKey, kEsdiEnumPrefix, id))
        RemoveKeyIfPresent(esdiKey);
    RegCloseKey(service);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kServiceKey);
}
