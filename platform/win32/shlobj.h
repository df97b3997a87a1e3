// The shell's folder dialog: SHBrowseForFolderA lets the user choose a
// folder and returns it as an item list, which SHGetPathFromIDListA turns
// into its path and CoTaskMemFree releases.
#pragma once

#include "platform/win32/windows.h"

struct SHITEMID {
    WORD cb;  // this item's size, cb included
    BYTE abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using BFFCALLBACK = int(CALLBACK*)(HWND, UINT, LPARAM, LPARAM);

struct BROWSEINFOA {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPSTR pszDisplayName;  // MAX_PATH bytes: receives the chosen folder's name
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
};
using LPBROWSEINFOA = BROWSEINFOA*;

#define MAX_PATH 260
#define BIF_RETURNONLYFSDIRS 0x0001
#define BIF_NEWDIALOGSTYLE 0x0040

// Null when the user cancels. The folder dialog opens in the folder last
// chosen in it during this session (at first the current folder).
PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA info);
BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path);
void CoTaskMemFree(void* memory);
