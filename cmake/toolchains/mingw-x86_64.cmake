# Cross-build for 64-bit Windows with mingw-w64.
# The win32 thread model: its runtime reaches threads through the Windows API
# alone, where the posix model's thread library imports calls that the oldest
# Windows the saver runs on lacks. The saver starts its one render thread
# with CreateThread itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The oldest 64-bit Windows, XP x64 and Server 2003: the headers then hide
# every call they lack, and anything newer is looked up at run time.
set(telkarim_windows_version "-DWINVER=0x0502 -D_WIN32_WINNT=0x0502 -D_WIN32_IE=0x0600")
# Strict C++20 hides M_PI in the mingw headers; the shared code uses it.
set(CMAKE_CXX_FLAGS_INIT "-D_USE_MATH_DEFINES ${telkarim_windows_version}")
set(CMAKE_C_FLAGS_INIT "${telkarim_windows_version}")
set(CMAKE_RC_FLAGS_INIT "${telkarim_windows_version}")
