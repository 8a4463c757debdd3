// The Win32-like calls: device contexts, stretch copies, regions, the pointer, sounds,
// cursors and the shell.
#pragma once

#include <cstdint>
#include <string>

#include "platform/graphics.h"
#include "platform/types.h"

using BOOL = int;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
using DWORD = std::uint32_t;
using UINT = unsigned;

struct WindowHandle;          // opaque: a form's native window
using HWND = WindowHandle*;
struct GdiObject;             // opaque: regions (the only GDI objects handed out as handles)
using HGDIOBJ = GdiObject*;
struct RegionObject;
using HRGN = RegionObject*;
using HCURSOR = int;          // a cursor id of the window system; 0 is none
struct ModuleHandle;
using HINSTANCE = ModuleHandle*;
extern HINSTANCE HInstance;   // the program's own module

// Region kinds returned by CombineRgn and friends.
constexpr int ERROR_REGION = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

constexpr DWORD SRCCOPY = 0x00CC0020;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONASTERISK = 0x00000040;

constexpr int SW_SHOW = 5;

HDC GetDC(HWND hwnd);                 // null: the whole screen
int ReleaseDC(HWND hwnd, HDC dc);
BOOL StretchBlt(HDC dest, int xDest, int yDest, int wDest, int hDest,
                HDC src, int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop);

HRGN CreatePolygonRgn(const TPoint* points, int count, int fillMode);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteObject(HRGN region);
int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);

BOOL GetCursorPos(TPoint* point);
BOOL PtInRect(const TRect* rect, TPoint point);
BOOL MessageBeep(UINT type);
HCURSOR LoadCursor(HINSTANCE instance, const char* name);

// Opens `file` with the desktop's opener; returns a value above 32 on success.
std::intptr_t ShellExecute(HWND hwnd, const char* operation, const char* file,
                           const char* parameters, const char* directory, int showCommand);

// Counts of what exists now, for leak checks.
int LiveRegionCount();
int LiveDeviceContextCount();
