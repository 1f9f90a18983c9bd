// telkarim --idle SECONDS: stays resident on a Wayland desktop and shows the
// saver on every output once the compositor reports SECONDS without input.
// The compositor's own idle notification decides, so idle inhibitors (a
// video player holding one) keep the saver off as the protocol defines.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>


#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"
#include "platform/linux/event_loop.h"
#include "platform/wayland/wayland_front_end.h"

namespace tk::wayland {
namespace {

struct Idle {
  wl_seat* seat = nullptr;
  ext_idle_notifier_v1* notifier = nullptr;
  org_kde_kwin_idle* kdeIdle = nullptr;
  bool idle = false;  // the compositor says the desktop is idle now
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* s = static_cast<Idle*>(data);
  const std::string i = interface;
  if (i == wl_seat_interface.name && !s->seat)
    s->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  else if (i == ext_idle_notifier_v1_interface.name)
    s->notifier = static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
  else if (i == org_kde_kwin_idle_interface.name)
    s->kdeIdle = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

void Idled(void* data, ext_idle_notification_v1*) { static_cast<Idle*>(data)->idle = true; }
void Resumed(void* data, ext_idle_notification_v1*) { static_cast<Idle*>(data)->idle = false; }
const ext_idle_notification_v1_listener kNotification = {Idled, Resumed};

void KdeIdle(void* data, org_kde_kwin_idle_timeout*) { static_cast<Idle*>(data)->idle = true; }
void KdeResumed(void* data, org_kde_kwin_idle_timeout*) { static_cast<Idle*>(data)->idle = false; }
const org_kde_kwin_idle_timeout_listener kKdeTimeout = {KdeIdle, KdeResumed};

}  // namespace

int RunIdle(int32_t seconds, const std::optional<std::string>& settingsFile, const FrontEndEnvironment& environment) {
  wl_display* connection = wl_display_connect(nullptr);
  if (!connection) {
    std::fprintf(stderr, "telkarim: cannot connect to the Wayland compositor\n");
    return 1;
  }
  Idle state;
  wl_registry* registry = wl_display_get_registry(connection);
  wl_registry_add_listener(registry, &kRegistry, &state);
  wl_display_roundtrip(connection);
  if (!state.seat || (!state.notifier && !state.kdeIdle)) {
    std::fprintf(stderr, "telkarim: the Wayland compositor reports no idle time (neither ext-idle-notify nor the KDE idle protocol)\n");
    wl_display_disconnect(connection);
    return 2;
  }
  const uint32_t ms = static_cast<uint32_t>(seconds) * 1000u;
  ext_idle_notification_v1* notification = nullptr;
  org_kde_kwin_idle_timeout* timeout = nullptr;
  if (state.notifier) {
    notification = ext_idle_notifier_v1_get_idle_notification(state.notifier, ms, state.seat);
    ext_idle_notification_v1_add_listener(notification, &kNotification, &state);
  } else {
    timeout = org_kde_kwin_idle_get_idle_timeout(state.kdeIdle, state.seat, ms);
    org_kde_kwin_idle_timeout_add_listener(timeout, &kKdeTimeout, &state);
  }
  SaverRequest request;
  request.mode = SaverRequest::Mode::kFullScreen;
  request.settingsFile = settingsFile;
  request.environment = environment;
  int code = 0;
  bool ended = false;  // SIGTERM or SIGINT, here or while the saver showed
  while (!ended && code == 0) {
    {
      EventLoop loop;
      auto stop = [&] {
        ended = true;
        loop.Stop();
      };
      loop.OnSignal(SIGTERM, stop);
      loop.OnSignal(SIGINT, stop);
      loop.AddFd(wl_display_get_fd(connection), [&] {
        if (wl_display_dispatch(connection) < 0) {
          std::fprintf(stderr, "telkarim: the Wayland compositor went away\n");
          code = 1;
          loop.Stop();
        }
      });
      loop.BeforeWait([&] {
        if (wl_display_dispatch_pending(connection) < 0) code = 1;
        wl_display_flush(connection);
        if (state.idle || code != 0) loop.Stop();
      });
      loop.Run();
    }
    if (ended || code != 0 || !state.idle) break;
    // Shown until input ends it. Anything the compositor said meanwhile is
    // read after: an idle report from before the input that ended the saver
    // is stale, so one idle period shows the saver once.
    if (RunSaver(request, &ended) != 0) code = 1;
    if (wl_display_roundtrip(connection) < 0) code = 1;
    state.idle = false;
  }
  if (notification) ext_idle_notification_v1_destroy(notification);
  if (timeout) org_kde_kwin_idle_timeout_release(timeout);
  if (state.notifier) ext_idle_notifier_v1_destroy(state.notifier);
  if (state.kdeIdle) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(state.kdeIdle));
  wl_seat_destroy(state.seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(connection);
  return code;
}

}  // namespace tk::wayland
