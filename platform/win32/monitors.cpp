#include "monitors.h"

#include <cstring>

#include "core/rect.h"
#include "monitor_layout.h"

namespace tk::win32 {
namespace {

// Declared here rather than taken from the headers, which hide them when the
// build targets systems older than the functions.
using MonitorHandle = HANDLE;
struct MonitorInfoA {
  DWORD cbSize;
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags;
};
constexpr DWORD kMonitorPrimary = 1;               // MONITORINFOF_PRIMARY
constexpr DWORD kAttachedSecondaryDevices = 1;     // DDENUM_ATTACHEDSECONDARYDEVICES
using MonitorEnumProc = BOOL(CALLBACK*)(MonitorHandle, HDC, RECT*, LPARAM);
using EnumDisplayMonitorsFn = BOOL(WINAPI*)(HDC, const RECT*, MonitorEnumProc, LPARAM);
using GetMonitorInfoFn = BOOL(WINAPI*)(MonitorHandle, MonitorInfoA*);
using DeviceEnumProc = BOOL(WINAPI*)(GUID*, char*, char*, void*, MonitorHandle);
using DirectDrawEnumerateExFn = HRESULT(WINAPI*)(DeviceEnumProc, void*, DWORD);

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

struct Found {
  MonitorHandle handle;
  MonitorDevice monitor;
};

struct Listing {
  GetMonitorInfoFn getInfo;
  std::vector<Found> found;
};

BOOL CALLBACK OnMonitor(MonitorHandle handle, HDC, RECT*, LPARAM context) {
  auto* listing = reinterpret_cast<Listing*>(context);
  MonitorInfoA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  if (!listing->getInfo(handle, &info)) return TRUE;
  Found f{handle, MonitorDevice{}};
  f.monitor.bounds = Rect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
  f.monitor.primary = (info.dwFlags & kMonitorPrimary) != 0;
  listing->found.push_back(f);
  return TRUE;
}

// Each device the enumeration names with a monitor goes to that monitor;
// the entry without a monitor is the default device.
BOOL WINAPI OnDevice(GUID* guid, char*, char*, void* context, MonitorHandle handle) {
  auto* listing = static_cast<Listing*>(context);
  if (!guid || !handle) return TRUE;
  for (Found& f : listing->found)
    if (f.handle == handle) {
      f.monitor.hasGuid = true;
      f.monitor.guid = *guid;
    }
  return TRUE;
}

}  // namespace

std::vector<MonitorDevice> FindMonitors() {
  HMODULE user = GetModuleHandleA("USER32.DLL");
  const auto enumMonitors = Lookup<EnumDisplayMonitorsFn>(user, "EnumDisplayMonitors");
  Listing listing{Lookup<GetMonitorInfoFn>(user, "GetMonitorInfoA"), {}};
  if (!enumMonitors || !listing.getInfo) return {};
  enumMonitors(nullptr, nullptr, OnMonitor, reinterpret_cast<LPARAM>(&listing));
  if (listing.found.size() < 2) return {};

  if (HMODULE ddraw = LoadLibraryA("DDRAW.DLL")) {
    if (const auto enumDevices = Lookup<DirectDrawEnumerateExFn>(ddraw, "DirectDrawEnumerateExA"))
      enumDevices(OnDevice, &listing, kAttachedSecondaryDevices);
    FreeLibrary(ddraw);
  }

  std::vector<Rect> bounds;
  int primary = -1;
  for (size_t i = 0; i < listing.found.size(); ++i) {
    bounds.push_back(listing.found[i].monitor.bounds);
    if (listing.found[i].monitor.primary && primary < 0) primary = static_cast<int>(i);
  }
  std::vector<MonitorDevice> monitors;
  for (size_t i : HostOrder(bounds, primary)) monitors.push_back(listing.found[i].monitor);
  // Mirrors left out, one monitor may be all there is.
  if (monitors.size() < 2) return {};
  // Monitors without a device of their own, or listed with the same device,
  // share one surface.
  for (size_t i = 0; i < monitors.size(); ++i)
    for (size_t j = 0; j < monitors.size(); ++j) {
      if (i == j) continue;
      const MonitorDevice& a = monitors[i];
      const MonitorDevice& b = monitors[j];
      const bool same = a.hasGuid == b.hasGuid && (!a.hasGuid || IsEqualGUID(a.guid, b.guid));
      if (same) monitors[i].deviceShared = true;
    }
  return monitors;
}

Rect DesktopOf(const std::vector<MonitorDevice>& monitors) {
  if (monitors.empty()) return Rect{};
  Rect d = monitors.front().bounds;
  for (const MonitorDevice& m : monitors) d = Union(d, m.bounds);
  return d;
}

}  // namespace tk::win32
