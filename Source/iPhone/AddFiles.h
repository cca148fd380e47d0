// Add files... and Add folder...: local items chosen in the standard open dialog, uploaded into the
// current folder as a drop there brings them (same checks, progress, cancel and roll back).
#pragma once

// Asks for files (or folders), then uploads them. Nothing happens when the dialog is cancelled, or
// the folder shown is not the same any more when it closes.
void AddLocalItems(bool folders);
