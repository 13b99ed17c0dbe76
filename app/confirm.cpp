#include "app.h"
#include "product_constants.h"
#include "uninstall.h"

void ConfirmAndRun(int silent, int keepSelf)
{
    // Anything but OK, the close button included, removes nothing.
    if (silent || MessageBoxA(NULL, kConfirmText, kCaption, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK) {
        RunUninstall(keepSelf);
        if (!silent) MessageBoxA(NULL, kSuccessText, kCaption, MB_OK | MB_ICONINFORMATION);
    }
    PostQuitMessage(0);
}
