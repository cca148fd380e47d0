#include "SmallDialogs.h"

INT_PTR CALLBACK AboutDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK CopyProgressDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK DeletingDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK CalculatingSizeDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
INT_PTR CALLBACK CopyBusyDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void PostCopyEndNotice() {}
