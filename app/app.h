// The entry and its conversation with the user.
#ifndef ZOVOVAR_APP_H
#define ZOVOVAR_APP_H

#include "platform.h"

// Parses the tail, registers the window class, confirms and runs the uninstall,
// then pumps messages until the quit message; returns its code (0).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show);

// Registers the class "MainDlg". No window of it is ever created.
void RegisterMainClass(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Asks first unless silent; removes on OK; reports success; posts the quit message.
void ConfirmAndRun(int silent, int keepSelf);

#endif
