// Modules over dlopen, and module resources through the hook each module
// exports (module_resource.h).
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/cp932.h"
#include "platform/win32/module_resource.h"
#include "platform/win32/path.h"
#include "platform/win32/win32.h"

namespace {

bool EndsWithNoCase(const std::string& s, const char* tail) {
  size_t n = strlen(tail);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

// The folder of the running program (UTF-8, with a trailing "/").
std::string ProgramFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, (size_t)n);
  return path.substr(0, path.find_last_of('/') + 1);
}

// A module name as the program writes it ("Tunehall.dll", "characters\x.dll")
// to the shared objects to try, in the platform's search order: a name with
// a folder as it stands; a bare name in the program's folder, then the
// current folder, then the system's library path.
std::vector<std::string> Candidates(LPCSTR name) {
  std::string text(name);
  size_t sep = vox_win32::LastSeparator(text);
  std::string leaf = sep == std::string::npos ? text : text.substr(sep + 1);
  if (EndsWithNoCase(leaf, ".dll"))
    text.replace(text.size() - 4, 4, ".so");
  else if (leaf.find('.') == std::string::npos)
    text += ".so";  // the platform adds its default extension too
  else if (!leaf.empty() && leaf.back() == '.')
    text.pop_back();  // a final dot means "no extension"
  std::vector<std::string> out;
  if (sep != std::string::npos) {
    std::string host;
    if (vox_win32::MapWindowsPath(text, &host)) out.push_back(host[0] == '/' ? host : "./" + host);
    return out;
  }
  std::string folder = ProgramFolder();
  std::string host;
  if (!folder.empty() && vox_win32::MapWindowsPath(text, &host)) {
    std::string in_folder;
    std::string windows_folder;
    if (vox_win32::HostToWindowsPath(folder, &windows_folder) &&
        vox_win32::MapWindowsPath(windows_folder + text, &in_folder))
      out.push_back(in_folder);
    out.push_back("./" + host);
    out.push_back(host);
  }
  return out;
}

struct Resource {
  const void* data;
  DWORD size;
};

std::mutex resource_lock;
// Records handed out as HRSRC, one per module and resource; they stay valid
// as long as the process runs, so a stale HRSRC never points at freed memory.
std::map<std::pair<void*, const void*>, Resource*>& resources() {
  static auto* m = new std::map<std::pair<void*, const void*>, Resource*>;
  return *m;
}

// "#123" names the resource with id 123, as on the platform.
LPCSTR NormaliseResourceName(LPCSTR name) {
  if (IS_INTRESOURCE(name) || name[0] != '#') return name;
  char* end = nullptr;
  unsigned long id = strtoul(name + 1, &end, 10);
  return (*end == '\0' && end != name + 1 && id < 0x10000) ? MAKEINTRESOURCEA(id) : name;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (const std::string& candidate : Candidates(name)) {
    if (void* h = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      SetLastError(ERROR_SUCCESS);
      return h;
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  // Ordinals do not exist for shared objects.
  if (!module || !name || IS_INTRESOURCE(name)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* p = dlsym(module, name);
  if (!p) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(p);
}

BOOL FreeLibrary(HMODULE module) {
  if (!module || dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR name) {
  static void* program = dlopen(nullptr, RTLD_NOW);
  if (!name) return program;
  // A loaded module answers without taking a reference, as on the platform.
  for (const std::string& candidate : Candidates(name)) {
    if (void* h = dlopen(candidate.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
      dlclose(h);
      return h;
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  std::string host;
  if (!module || module == GetModuleHandleA(nullptr)) {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) host.assign(buf, (size_t)n);
  } else {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) {
      char* real = realpath(map->l_name, nullptr);
      host = real ? real : map->l_name;
      free(real);
    }
  }
  std::string windows;
  if (host.empty() || !vox_win32::HostToWindowsPath(host, &windows)) {
    SetLastError(host.empty() ? ERROR_MOD_NOT_FOUND : ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Cut to the buffer and terminated; the platform then returns the size
  // and reports the shortage.
  if (windows.size() >= size) {
    memcpy(buffer, windows.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  memcpy(buffer, windows.c_str(), windows.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return (DWORD)windows.size();
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (!module) module = GetModuleHandleA(nullptr);
  if (!name || !type) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto hook = reinterpret_cast<VoxModuleResourceFn>(dlsym(module, VOX_MODULE_RESOURCE_SYMBOL));
  if (!hook) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  uint32_t size = 0;
  const void* data = hook(NormaliseResourceName(name), NormaliseResourceName(type), &size);
  if (!data) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(resource_lock);
  Resource*& r = resources()[{module, data}];
  if (!r) r = new Resource{data, size};
  r->size = size;
  return r;
}

DWORD SizeofResource(HMODULE, HRSRC res) {
  if (!res) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<Resource*>(res)->size;
}

// Resource bytes live in the module image; they are never copied or freed.
HGLOBAL LoadResource(HMODULE, HRSRC res) {
  if (!res) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void*>(static_cast<Resource*>(res)->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }
