// The compiler's runtime linked into the 32-bit saver (its lock and
// exception-frame code, the C library's locale and random helpers) calls
// three Unicode entry points of KERNEL32. On the 95/98 family those are stubs
// that only fail, so the runtime's import slots for them are filled here with
// the ANSI calls instead; the runtime passes no name or a plain DLL name.
// Only the 32-bit build has this file: every 64-bit Windows has the calls.
#include <windows.h>

namespace {

// An ASCII copy of a short name, as the runtime's names are; false when it
// does not fit.
bool Narrow(LPCWSTR name, char (&out)[MAX_PATH]) {
  int i = 0;
  for (; name[i] != 0; ++i) {
    if (i + 1 >= MAX_PATH || name[i] > 0x7F) return false;
    out[i] = static_cast<char>(name[i]);
  }
  out[i] = 0;
  return true;
}

HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name) {
  char narrow[MAX_PATH];
  if (!name) return CreateSemaphoreA(security, initial, maximum, nullptr);
  if (!Narrow(name, narrow)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return CreateSemaphoreA(security, initial, maximum, narrow);
}

HMODULE WINAPI GetModuleHandleAnsi(LPCWSTR name) {
  char narrow[MAX_PATH];
  if (!name) return GetModuleHandleA(nullptr);
  if (!Narrow(name, narrow)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return GetModuleHandleA(narrow);
}

HMODULE WINAPI LoadLibraryAnsi(LPCWSTR name) {
  char narrow[MAX_PATH];
  if (!name || !Narrow(name, narrow)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return LoadLibraryA(narrow);
}

}  // namespace

// The import slots under the names the runtime's objects call through:
// defined here, the linker takes them instead of KERNEL32's. Constant
// initialisation, so they hold their targets before any code runs.
extern "C" {
extern HANDLE(WINAPI* const kCreateSemaphoreSlot)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR) __asm__(
    "__imp__CreateSemaphoreW@16");
extern HMODULE(WINAPI* const kGetModuleHandleSlot)(LPCWSTR) __asm__("__imp__GetModuleHandleW@4");
extern HMODULE(WINAPI* const kLoadLibrarySlot)(LPCWSTR) __asm__("__imp__LoadLibraryW@4");

__attribute__((used)) HANDLE(WINAPI* const kCreateSemaphoreSlot)(LPSECURITY_ATTRIBUTES, LONG, LONG,
                                                                 LPCWSTR) = CreateSemaphoreAnsi;
__attribute__((used)) HMODULE(WINAPI* const kGetModuleHandleSlot)(LPCWSTR) = GetModuleHandleAnsi;
__attribute__((used)) HMODULE(WINAPI* const kLoadLibrarySlot)(LPCWSTR) = LoadLibraryAnsi;
}
