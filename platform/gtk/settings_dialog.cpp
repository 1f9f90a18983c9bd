// The settings mode on Linux: the dialog over the settings file, on GTK 3.
#include <cstdio>
#include <string>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "platform/gtk/gtk_dialog_view.h"
#include "settings/file_store.h"
#include "shell/linux/front_ends.h"
#include "shell/options.h"

namespace tk {
namespace {

// `/c:ID` names the window that asked for the dialog; the dialog then stays
// above it. Only an X11 window can be named that way.
void KeepAboveOwner(GtkWindow* dialog, uint64_t owner) {
  if (owner == 0) return;
  GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(dialog));
  if (!GDK_IS_X11_DISPLAY(display)) return;
  // NULL when the window is gone by now.
  GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(display, static_cast<Window>(owner));
  if (!foreign) return;
  gtk_widget_realize(GTK_WIDGET(dialog));
  gdk_window_set_transient_for(gtk_widget_get_window(GTK_WIDGET(dialog)), foreign);
  g_object_unref(foreign);
}

}  // namespace

int RunSettingsDialog(const DialogRequest& request) {
  // X11 first: the rest of the program and the window ids on its command
  // line are X11's; other backends only when there is no X server.
  gdk_set_allowed_backends("x11,*");
  // GTK's colour chooser writes the colours picked in it to the desktop's
  // settings database; ours are kept only while the dialog runs.
  g_setenv("GSETTINGS_BACKEND", "memory", TRUE);
  // Named before GTK starts, so the windows' class is "telkarim" even where
  // the name cannot be read back from /proc, and the taskbar finds the
  // installed icon by it.
  g_set_prgname("telkarim");
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fputs("telkarim: cannot open a display for the settings dialog\n", stderr);
    return 1;
  }
  gtk_window_set_default_icon_name("telkarim");
  FileSettingsStore store(request.settingsFile.value_or(std::string()));

  GtkBuilder* builder = gtk_builder_new_from_string(gtk::kSettingsDialogUi, -1);
  {
    gtk::GtkDialogView view(builder);
    SettingsDialogModel model(store, view);
    view.Attach(model);
    model.Open();

    GtkWindow* dialog = view.window();
    KeepAboveOwner(dialog, request.owner);
    gtk_widget_show_all(GTK_WIDGET(dialog));
    // No control has the focus at first, so Enter means OK and Escape
    // means Cancel until the user moves into the dialog.
    gtk_window_set_focus(dialog, nullptr);

    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
      if (!model.Ok()) {
        const std::string why = "could not save the settings to " + store.path() +
                                (store.error().empty() ? std::string() : " (" + store.error() + ")");
        std::fprintf(stderr, "telkarim: %s\n", OneLine(why).c_str());
      }
    } else {
      model.Cancel();
    }
    gtk_widget_destroy(GTK_WIDGET(dialog));
    gtk_widget_destroy(GTK_WIDGET(gtk_builder_get_object(builder, "about-box")));
  }
  g_object_unref(builder);
  // The dispatch ends the settings mode with 1, after OK and Cancel alike.
  return 1;
}

}  // namespace tk
