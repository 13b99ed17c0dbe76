#include "helpers.h"
#include "product_constants.h"
#include "uninstall.h"

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
    // The service key's ID is taken at its word (docs/kept_on_purpose.md).
    // An identifier of backslashes only (or none) would name the ESDI branch
    // itself, and deleting that would take every ESDI device with it.
    if (ReadTextValue(service, kServiceIdValue, id, sizeof id) && IsWholeName(id) &&
        JoinText(esdiKey, sizeof esdiKey, kEsdiEnumPrefix, id))
        RemoveKeyIfPresent(esdiKey);
    RegCloseKey(service);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kServiceKey);
}
