#include "Startup.h"

bool StartProgram(HINSTANCE) { return false; }
void StopProgram() {}
int RunProgram(HINSTANCE) { return 0; }
