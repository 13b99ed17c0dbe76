#include <gtest/gtest.h>
#include "app.h"
#include "installed_machine.h"
TEST(FullRun, Print) {
    fixture::InstallProduct();
    char tail[] = "/M";
    WinMain((HINSTANCE)(uintptr_t)0x400000, NULL, tail, 10);
    for (auto &c : sim::Calls()) printf("%s\n", c.c_str());
}
