// The status line, the toolbar's enabled state and the byte-count text.
#pragma once

#include <cstdint>

void UpdateStatusLine();
void UpdateToolbar();
int CanCreateFolder();
int CanDelete();
int CanGoUp();
int CanRefresh();
// The text lives in a buffer of the formatter's own, overwritten by the next call.
const wchar_t* FormatSize(uint64_t bytes);
