#include "StatusLine.h"

void UpdateStatusLine() {}
void UpdateToolbar() {}
int CanCreateFolder() { return 0; }
int CanDelete() { return 0; }
int CanGoUp() { return 0; }
int CanRefresh() { return 0; }
const wchar_t* FormatSize(uint64_t) { return L""; }
