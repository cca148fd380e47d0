#include "Splitter.h"

bool RegisterSplitterClass(HINSTANCE) { return false; }
void ResetSplitterDrag() {}
