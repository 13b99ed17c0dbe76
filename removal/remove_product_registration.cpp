#include "helpers.h"
#include "product_constants.h"
#include "uninstall.h"

void RemoveProductRegistration()
{
    // The maker's key and the Uninstall list itself belong to others and stay.
    char subKey[128];
    if (JoinText(subKey, sizeof subKey, kUninstallListPrefix, kProductName))
        RemoveKeyIfPresent(subKey);
    // The version key is the product key's name with the version run on, no
    // separator: the installer's own (docs/kept_on_purpose.md).
    if (JoinText(subKey, sizeof subKey, kProductKey, kVersionText)) RemoveKeyIfPresent(subKey);
    if (JoinText(subKey, sizeof subKey, kMakerKey, kProductName)) RemoveKeyIfPresent(subKey);
}
