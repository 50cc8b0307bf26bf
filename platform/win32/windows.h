// The subset of the Windows API that Tolvane calls, under the platform's own names
// and numeric values, implemented on Linux by this folder (SDL2 for windows and
// input, POSIX for files). Sizes follow the platform: LONG and DWORD are 32-bit.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include "platform/win32/export.h"

// The header compiles as C as well as C++: types are typedefs, constants macros, and the
// functions have C linkage.
#ifdef __cplusplus
extern "C" {
#endif
TOLVANE_API_BEGIN

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef int16_t SHORT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef int BOOL;
typedef char CHAR;
#ifdef __cplusplus
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef int32_t HRESULT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef WORD ATOM;
typedef DWORD COLORREF;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Opaque handles. Each kind is a distinct pointer type, as on the platform.
struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HCURSOR__;
struct HBRUSH__;
struct HMENU__;
struct HGDIOBJ__;
struct HRSRC__;
struct HGLOBAL__;
struct HMONITOR__;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HICON__* HICON;
typedef struct HCURSOR__* HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;
typedef struct HGDIOBJ__* HGDIOBJ;
typedef struct HRSRC__* HRSRC;
typedef struct HGLOBAL__* HGLOBAL;
typedef struct HMONITOR__* HMONITOR;
typedef void* HANDLE;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xFFFF))
#define MAKEINTRESOURCEA(i) ((LPCSTR)(uintptr_t)(WORD)(i))
#define MAKEINTRESOURCEW(i) ((LPCWSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) (((uintptr_t)(p) >> 16) == 0)

typedef struct POINT {
    LONG x;
    LONG y;
} POINT;

typedef struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT;

// 64-bit values in two halves (the driver version of an adapter identifier).
typedef union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
} LARGE_INTEGER;

// A region as a list of rectangles (the dirty region of a presentation).
typedef struct RGNDATAHEADER {
    DWORD dwSize;
    DWORD iType;
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
} RGNDATAHEADER;

typedef struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
} RGNDATA;

typedef struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY;

typedef struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA;

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205

// Key and button flags of mouse messages (wParam).
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010

// WM_ACTIVATE states (low word of wParam).
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2

// PeekMessage flags.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Virtual-key codes. Letters and digits are their upper-case ASCII codes.
#define VK_LBUTTON 0x01
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B

// Window and class styles.
#define WS_OVERLAPPED 0x00000000
#define WS_CAPTION 0x00C00000
#define WS_SYSMENU 0x00080000
#define WS_THICKFRAME 0x00040000
#define WS_MINIMIZEBOX 0x00020000
#define WS_MAXIMIZEBOX 0x00010000
#define WS_VISIBLE 0x10000000
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008

// Message boxes.
#define MB_OK 0x00000000
#define MB_ICONERROR 0x00000010
#define MB_ICONWARNING 0x00000030
#define MB_ICONINFORMATION 0x00000040
#define IDOK 1

// Stock resources.
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_BITMAPW MAKEINTRESOURCEW(2)

// Files.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define CP_ACP 0
#define CP_UTF8 65001
#define VER_PLATFORM_WIN32_NT 2

// Error numbers (GetLastError).
#define ERROR_SUCCESS 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_EOF 38
#define ERROR_NOT_SUPPORTED 50
#define ERROR_INVALID_PARAMETER 87
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_BAD_PATHNAME 161
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_INVALID_ADDRESS 487
#define ERROR_FILE_INVALID 1006
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_HAS_WINDOWS 1412
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_INVALID_WINDOW_HANDLE 1400

// Result codes shared by every layer.
#define S_OK 0
#define S_FALSE 1
#define E_FAIL ((HRESULT)0x80004005u)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
// 0x80070000 | (error & 0xFFFF), e.g. 0x80070002 for ERROR_FILE_NOT_FOUND.
#define HRESULT_FROM_WIN32(error) \
    ((DWORD)(error) == 0 ? (HRESULT)0 : (HRESULT)(0x80070000u | ((DWORD)(error) & 0xFFFFu)))

// ---- user32 / gdi32 (platform/win32/window.cpp, message.cpp) -------------------------
ATOM RegisterClassA(const WNDCLASSA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL ClientToScreen(HWND hwnd, POINT* point);
int GetWindowTextA(HWND hwnd, LPSTR text, int maxCount);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL TranslateMessage(const MSG* msg);
SHORT GetKeyState(int virtualKey);
LRESULT DispatchMessageA(const MSG* msg);
void PostQuitMessage(int exitCode);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
HMODULE GetModuleHandleA(LPCSTR moduleName);

// ---- kernel32 (platform/win32/file.cpp, resource.cpp) --------------------------------
DWORD GetLastError(void);
void SetLastError(DWORD error);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileMappingA(HANDLE file, void* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, size_t bytes);
BOOL UnmapViewOfFile(LPCVOID view);
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL CloseHandle(HANDLE handle);
BOOL GetVersionExA(OSVERSIONINFOA* info);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multi,
                        int multiCount, LPCSTR defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiCount, LPWSTR wide,
                        int wideCount);
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);


// ---- modules, timers and window management (platform/win32/module.cpp, time.cpp, window.cpp)
// What programs written for Direct3D 8 call beyond the game's own subset. Constants here
// are macros, as the platform's headers have them, so that `#ifdef WM_MOUSEWHEEL` and the
// like work in programs.

// Calling conventions: Linux has one per processor, so they are empty.
#ifndef WINAPI
#define WINAPI
#define WINAPIV
#define CALLBACK
#define APIENTRY
#endif

typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef float FLOAT;
typedef char TCHAR;
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;
typedef POINT* LPPOINT;
typedef MSG* LPMSG;
typedef DWORD* LPDWORD;
typedef INT_PTR (*FARPROC)();

#define TEXT(text) text
#define MAKELONG(low, high) ((LONG)(((WORD)((DWORD_PTR)(low) & 0xFFFF)) | ((DWORD)((WORD)((DWORD_PTR)(high) & 0xFFFF))) << 16))
#define MAKEWPARAM(low, high) ((WPARAM)(DWORD)MAKELONG(low, high))
#define MAKELPARAM(low, high) ((LPARAM)(DWORD)MAKELONG(low, high))
#define ZeroMemory(destination, length) memset((destination), 0, (length))
#define FillMemory(destination, length, fill) memset((destination), (fill), (length))
#define CopyMemory(destination, source, length) memcpy((destination), (source), (length))
#define MoveMemory(destination, source, length) memmove((destination), (source), (length))
#define MAKEINTRESOURCE MAKEINTRESOURCEA

// The A calls under their neutral names (the program is built for the ANSI character set).
#define LoadLibrary LoadLibraryA
#define GetModuleHandle GetModuleHandleA
#define RegisterClass RegisterClassA
#define UnregisterClass UnregisterClassA
#define CreateWindowEx CreateWindowExA
#define CreateWindowA(className, windowName, style, x, y, width, height, parent, menu, instance, param) \
    CreateWindowExA(0, className, windowName, style, x, y, width, height, parent, menu, instance, param)
#define CreateWindow CreateWindowA
#define DefWindowProc DefWindowProcA
#define PeekMessage PeekMessageA
#define PostMessage PostMessageA
#define DispatchMessage DispatchMessageA
#define MessageBox MessageBoxA
#define LoadIcon LoadIconA
#define LoadCursor LoadCursorA
#define SetWindowText SetWindowTextA
#define GetWindowText GetWindowTextA
#define SetWindowLongPtr SetWindowLongPtrA
#define GetWindowLongPtr GetWindowLongPtrA
#define SetWindowLong SetWindowLongA
#define GetWindowLong GetWindowLongA
#define CallWindowProc CallWindowProcA
#define WNDCLASS WNDCLASSA

#define CW_USEDEFAULT ((int)0x80000000u)

// More window messages.
#define WM_MOVE 0x0003
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_GETMINMAXINFO 0x0024
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_LBUTTONDBLCLK 0x0203
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MOUSEWHEEL 0x020A
#define WM_ENTERSIZEMOVE 0x0231
#define WM_EXITSIZEMOVE 0x0232
#define WM_CAPTURECHANGED 0x0215
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_SIZE kinds (wParam).
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

// SetWindowPos flags and z-order places.
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOCOPYBITS 0x0100
#define SWP_NOOWNERZORDER 0x0200
#define SWP_NOSENDCHANGING 0x0400
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)

// Window data indices (GetWindowLongPtrA); non-negative indices address the class's
// cbWndExtra bytes.
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWLP_USERDATA (-21)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GWL_USERDATA (-21)

// More window styles, extended styles and class styles.
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_MINIMIZE 0x20000000u
#define WS_DISABLED 0x08000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_MAXIMIZE 0x01000000u
#define WS_BORDER 0x00800000u
#define WS_DLGFRAME 0x00400000u
#define WS_SIZEBOX WS_THICKFRAME
#define WS_TILEDWINDOW WS_OVERLAPPEDWINDOW
#define WS_POPUPWINDOW (WS_POPUP | WS_BORDER | WS_SYSMENU)
#define WS_EX_DLGMODALFRAME 0x00000001u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_TOOLWINDOW 0x00000080u
#define WS_EX_WINDOWEDGE 0x00000100u
#define WS_EX_CLIENTEDGE 0x00000200u
#define WS_EX_STATICEDGE 0x00020000u
#define WS_EX_APPWINDOW 0x00040000u
#define WS_EX_OVERLAPPEDWINDOW (WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE)
#define CS_OWNDC 0x0020
#define CS_CLASSDC 0x0040

// More virtual-key codes.
#define VK_RBUTTON 0x02
#define VK_CANCEL 0x03
#define VK_MBUTTON 0x04
#define VK_CLEAR 0x0C
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_SNAPSHOT 0x2C
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_NUMPAD0 0x60
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_NUMLOCK 0x90
#define VK_SCROLL 0x91
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5

// System cursors beyond the arrow and the cross.
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_SIZEALL MAKEINTRESOURCEA(32646)
#define IDC_HAND MAKEINTRESOURCEA(32649)
#define IDI_WINLOGO MAKEINTRESOURCEA(32517)

// Screen metrics (GetSystemMetrics).
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CYCAPTION 4
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CYMENU 15
#define SM_CXFRAME 32
#define SM_CYFRAME 33

// More error numbers.
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_INVALID_INDEX 1413
#define ERROR_NOACCESS 998

// Multimedia timers (mmsystem.h).
#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

// kernel32: modules. A module is one that a library of this system registered (see
// host::RegisterModule); names match as the platform matches them.
HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);

// kernel32 and winmm: time.
DWORD timeGetTime();
UINT timeBeginPeriod(UINT period);
UINT timeEndPeriod(UINT period);
DWORD GetTickCount();
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void Sleep(DWORD milliseconds);

// user32: window management, the keyboard, the mouse and the cursor.
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
int GetSystemMetrics(int index);
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsWindowVisible(HWND hwnd);
BOOL UpdateWindow(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LONG SetWindowLongA(HWND hwnd, int index, LONG value);
LONG GetWindowLongA(HWND hwnd, int index);
LRESULT CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
SHORT GetAsyncKeyState(int virtualKey);
BOOL ScreenToClient(HWND hwnd, POINT* point);
HCURSOR SetCursor(HCURSOR cursor);
int ShowCursor(BOOL show);
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
#define SendMessage SendMessageA

// ---- end of modules, timers and window management ------------------------------------

TOLVANE_API_END
#ifdef __cplusplus
}
#endif
