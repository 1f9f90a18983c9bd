// Test stand-in for the system's screen-saver password library. The answer
// comes from the file named by TELKARIM_FAKE_PASSWORD (its first character,
// '1' grants, anything else refuses), read at every call; each call is
// appended as one line to that file's name plus ".log", so a test can count
// how often the saver asked.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND) {
  const char* path = std::getenv("TELKARIM_FAKE_PASSWORD");
  if (!path) return FALSE;
  int answer = 0;
  if (FILE* f = std::fopen(path, "r")) {
    answer = std::fgetc(f);
    std::fclose(f);
  }
  const BOOL granted = answer == '1';
  if (FILE* log = std::fopen((std::string(path) + ".log").c_str(), "a")) {
    std::fprintf(log, "%lu %s\n", GetTickCount(), granted ? "granted" : "refused");
    std::fclose(log);
  }
  return granted;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
