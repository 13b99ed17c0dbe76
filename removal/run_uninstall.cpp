#include "uninstall.h"

void RunUninstall(int keepSelf)
{
    // The App Paths key is read before it goes; the Startmenu key is a child of
    // the product key, so it goes first; the Uninstall entry goes last.
    RemoveDriverAndProgramFiles(keepSelf);
    RemoveDeviceRegistration();
    RemoveStartMenuEntries();
    RemoveProductRegistration();
}
