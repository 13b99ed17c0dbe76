#include "app.h"
#include "product_constants.h"

LRESULT CALLBACK MainWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA cls;
    cls.cbSize = sizeof cls;
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = MainWindowProc;
    cls.cbClsExtra = 0;
    cls.cbWndExtra = 0;
    cls.hInstance = instance;
    cls.hIcon = LoadIconA(instance, kMainClassName);
    cls.hCursor = LoadCursorA(NULL, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszMenuName = kMainClassName;
    cls.lpszClassName = kMainClassName;
    cls.hIconSm = NULL;
    RegisterClassExA(&cls);  // a failure changes nothing: no window is ever made
}
