// Windows-style scalar types and handles that the program's names rely on
// (m_dwDataLen, g_lPlayPort, g_hPlayWnd keep their meaning).
#pragma once

#include <cstdint>

using BOOL = int32_t;    // non-zero is true
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opaque handles: each is issued and owned by the layer that creates it.
using HANDLE = struct HANDLE__*;
using HWND = struct HWND__*;
