// Counts the platform calls of one silent run on a machine with the product
// installed, as the simulated subset records them.
#include <cstdio>

#include "app.h"
#include "installed_machine.h"

// The calls the uninstaller cannot do without on a fully installed machine:
//   3  icon, cursor and class registration
//   9  system folder, 2 driver files, Windows folder twice, 4 setup files
//   2  App Paths: open, read Path
//   5  script: open, 3 lines, close
//   3  RunOnce: create the key, set the value, close
//   4  uninst.isu, Readme.txt, close and delete App Paths
//  13  two USB keys (open, close, delete each), service key: open, read ID,
//      ESDI key (open, close, delete), close, delete
//   8  Startmenu: open, read, 2 shortcuts, 2 folders, close, delete
//   9  three product keys: open, close, delete each
//   2  post the quit message, fetch it
static const int kRequired = 3 + 9 + 2 + 5 + 3 + 4 + 13 + 8 + 9 + 2;

int main()
{
    fixture::InstallProduct();
    char tail[] = "/M";
    WinMain((HINSTANCE)(uintptr_t)0x400000, NULL, tail, 10);
    std::printf("%zu %d\n", sim::Calls().size(), kRequired);
    return 0;
}
