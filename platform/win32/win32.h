// Kernel services of the Windows API as the engine calls them, standing on
// POSIX and the C++ thread library. Names, arguments and results follow what
// the engine relies on; text crosses this boundary as code page 932 and paths
// use "\" separators and Windows name rules (see path.h).
#pragma once

#include <cstddef>
#include <cstdint>

// ---- basic types -----------------------------------------------------------
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* HINSTANCE;
typedef void* HGLOBAL;
typedef void* HRSRC;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
// void (*)() converts to any function pointer type without a cast warning.
typedef void (*FARPROC)();

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

// CreateFileA
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

// last-error codes the stand-ins report
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_WRITE_PROTECT 19u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_HANDLE_EOF 38u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_DISK_FULL 112u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_DIRECTORY 267u
#define ERROR_DIRECTORY_NOT_SUPPORTED 336u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define ERROR_DISK_QUOTA_EXCEEDED 1295u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812u
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814u
#define ERROR_FILE_READ_ONLY 6009u

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

struct CRITICAL_SECTION {
  void* impl;  // owned by InitializeCriticalSection
};

struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  size_t dwTotalPhys;
  size_t dwAvailPhys;
  size_t dwTotalPageFile;
  size_t dwAvailPageFile;
  size_t dwTotalVirtual;
  size_t dwAvailVirtual;
};

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

struct TIMECAPS {
  UINT wPeriodMin;
  UINT wPeriodMax;
};
typedef UINT MMRESULT;
#define TIMERR_NOERROR 0u
#define TIMERR_NOCANDO 97u

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);

// ---- errors ----------------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- files -----------------------------------------------------------------
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD creation,
                   DWORD attributes, HANDLE template_file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* size_high);
BOOL CloseHandle(HANDLE object);  // files, events, threads; find handles only through FindClose
BOOL DeleteFileA(LPCSTR name);
BOOL CreateDirectoryA(LPCSTR name, void* security);
BOOL RemoveDirectoryA(LPCSTR name);
BOOL MoveFileA(LPCSTR from, LPCSTR to);  // fails with ERROR_ALREADY_EXISTS when the target exists
DWORD GetFileAttributesA(LPCSTR name);   // INVALID_FILE_ATTRIBUTES when absent
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out);
void GetLocalTime(SYSTEMTIME* out);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// ---- threads and synchronisation --------------------------------------------
HANDLE CreateThread(void* security, size_t stack, LPTHREAD_START_ROUTINE start, LPVOID arg,
                    DWORD flags, DWORD* thread_id);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);
DWORD GetCurrentThreadId();
HANDLE CreateEventA(void* security, BOOL manual_reset, BOOL initial_state, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);  // events and threads
void InitializeCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);
void Sleep(DWORD milliseconds);
[[noreturn]] void ExitProcess(UINT code);

// ---- memory ----------------------------------------------------------------
#define HEAP_ZERO_MEMORY 0x8u
#define GMEM_FIXED 0x0u
#define GMEM_MOVEABLE 0x2u
#define GMEM_ZEROINIT 0x40u
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, size_t bytes);  // HEAP_ZERO_MEMORY zeroes growth
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
LPVOID GlobalLock(HGLOBAL mem);
BOOL GlobalUnlock(HGLOBAL mem);
size_t GlobalSize(HGLOBAL mem);
HGLOBAL GlobalFree(HGLOBAL mem);
void GlobalMemoryStatus(MEMORYSTATUS* status);

// ---- modules and their resources (module.cpp) --------------------------------
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
HMODULE GetModuleHandleA(LPCSTR name);  // null name: the program itself
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
DWORD SizeofResource(HMODULE module, HRSRC res);
HGLOBAL LoadResource(HMODULE module, HRSRC res);
LPVOID LockResource(HGLOBAL data);
#define MAKEINTRESOURCEA(i) ((LPCSTR)(uintptr_t)(WORD)(i))
#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)

// ---- time and system information ---------------------------------------------
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
// Sleeps until the performance counter reads at least `count`: a wake-up at
// an absolute time, which neither drifts by the time it took to ask nor
// needs a spin at the end.
void SleepUntilPerformanceCount(LONGLONG count);
DWORD timeGetTime();
MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT size);
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
BOOL GetVersionExA(OSVERSIONINFOA* info);
UINT GetOEMCP();
void OutputDebugStringA(LPCSTR text);  // to standard error when VOX_DEBUG_OUTPUT is set

// ---- .ini profile functions -----------------------------------------------------
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int default_value, LPCSTR file);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR out,
                               DWORD size, LPCSTR file);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
