#include <windows.h>

#include "Startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return RunProgram(instance);
}
