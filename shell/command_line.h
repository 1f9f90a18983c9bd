#pragma once
#include <cstdint>
#include <string_view>

namespace tk {

// Window handles on the command line are decimal and held as unsigned 32-bit.
using WindowId = uint32_t;

// Decimal digits to a handle; stops at the first non-digit, no sign, no
// spaces, wraps at 32 bits. Empty digit text gives 0.
WindowId ParseHandle(std::string_view text);

// The bits of the window handle that a command-line handle names. Windows
// keeps handles within 32 significant bits and widens them by sign on 64-bit
// builds, so a handle of 0x80000000 or more reads back as 0xFFFFFFFF8xxxxxxx;
// widening by zero would name a window that does not exist. On a 32-bit
// build this is the value unchanged.
inline uintptr_t WindowHandleBits(WindowId id) {
  return static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(id)));
}

// Steps one character forward; the Windows build passes its multi-byte aware
// next-character operation, everyone else steps one byte.
using NextChar = const char* (*)(const char* p);

// The argument string of a whole command line: the program name skipped
// (quoted or up to the first space or control character), then every
// character of code 1..32.
std::string_view IsolateArguments(std::string_view commandLine, NextChar next = nullptr);

// What the modes need from the platform.
class ShellServices {
 public:
  virtual ~ShellServices() = default;
  virtual bool WindowExists(WindowId window) = 0;
  virtual WindowId ForegroundWindow() = 0;
  // Full screen when parent is 0, else a preview in parent.
  virtual int RunSaver(WindowId parent) = 0;
  virtual int ShowSettings(WindowId owner) = 0;
  virtual void ChangePassword(WindowId owner) = 0;
  // Whether a handle of more than 32 bits wraps (Windows' rule) or names no
  // window at all: an X11 window id is never above 32 bits, so there the
  // wrapped number would be some other, unrelated window.
  virtual bool HandlesWrap() const { return true; }
};

// False when the leading digits of `text` stand for more than 32 bits.
bool HandleFits(std::string_view text);

// The mode dispatch on the first switch letter: S full screen; P or L and a
// handle, preview; C or C:handle, settings; A and a handle, password change
// (95/98 family only); nothing, settings without owner; anything else -1.
int SaverMain(std::string_view arguments, bool onWindows9x, ShellServices& services);

}  // namespace tk
