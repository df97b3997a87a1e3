// desktop_probe.h over the GTK backend.
#include "platform/win32/desktop_probe.h"
#include "platform/win32/backend.h"
#include "platform/win32/gtk/gtk_backend.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quillmark::win32 {
namespace {

GtkBackend* Desktop() {
    return CurrentBackend() == Backend::Gtk ? dynamic_cast<GtkBackend*>(&ActiveBackend()) : nullptr;
}

GtkWidget* WidgetOf(HWND control) { return Desktop() ? Desktop()->ControlWidget(control) : nullptr; }

GtkWidget* TopOf(HWND window) { return Desktop() ? Desktop()->TopWidget(window) : nullptr; }

constexpr guint kChooserPollMilliseconds = 20;
constexpr int kChooserPollLimit = 500;  // 10 seconds

struct ChooserAnswer {
    std::string path;
    int polls = 0;
    bool named = false;
};

GtkWidget* ShownFileChooser() {
    GtkWidget* chooser = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next)
        if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            chooser = GTK_WIDGET(w->data);
    g_list_free(windows);
    return chooser;
}

// Names the file, then waits until the chooser has selected it (it loads
// the folder first) before pressing "Open".
gboolean AnswerFileChooser(gpointer data) {
    auto* answer = static_cast<ChooserAnswer*>(data);
    GtkWidget* chooser = ShownFileChooser();
    const bool giveUp = ++answer->polls > kChooserPollLimit;
    if (chooser != nullptr && !answer->named) {
        answer->named = gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), answer->path.c_str());
    } else if (chooser != nullptr) {
        char* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        const bool selected = chosen != nullptr && answer->path == chosen;
        g_free(chosen);
        if (selected || giveUp) {
            gtk_dialog_response(GTK_DIALOG(chooser), selected ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
            delete answer;
            return G_SOURCE_REMOVE;
        }
    }
    if (!giveUp) return G_SOURCE_CONTINUE;
    delete answer;
    return G_SOURCE_REMOVE;
}

// The width of the first icon in the window's _NET_WM_ICON property (width,
// height, then the pixels), where the desktop reads a window's icon.
int IconWidthOf(GtkWidget* top) {
    GdkWindow* window = gtk_widget_get_window(top);
    if (!window) return 0;
    GdkAtom type = GDK_NONE;
    gint format = 0, length = 0;
    guchar* data = nullptr;
    if (!gdk_property_get(window, gdk_atom_intern_static_string("_NET_WM_ICON"), GDK_NONE, 0, 2, FALSE, &type,
                          &format, &length, &data))
        return 0;
    // Format-32 properties arrive as an array of longs.
    const bool holdsWidth = format == 32 && length >= static_cast<gint>(sizeof(long));
    const int width = holdsWidth ? static_cast<int>(reinterpret_cast<const long*>(data)[0]) : 0;
    g_free(data);
    return width;
}

// A widget's allocation in screen pixels (empty before it is shown).
RECT OnScreen(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    if (!gtk_widget_get_realized(top) || !gtk_widget_get_visible(widget)) return RECT{};
    gint x = 0, y = 0, originX = 0, originY = 0;
    if (!gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y)) return RECT{};
    gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
    return RECT{originX + x, originY + y, originX + x + gtk_widget_get_allocated_width(widget),
                originY + y + gtk_widget_get_allocated_height(widget)};
}

}  // namespace

bool DesktopAnswerFileChooser(const std::string& path) {
    if (!Desktop()) return false;
    g_timeout_add(kChooserPollMilliseconds, AnswerFileChooser, new ChooserAnswer{path});
    return true;
}

void DesktopProcessEvents() {
    if (!Desktop()) return;
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

bool DesktopClick(HWND control) {
    GtkWidget* widget = WidgetOf(control);
    if (!widget || !GTK_IS_BUTTON(widget)) return false;
    gtk_button_clicked(GTK_BUTTON(widget));
    return true;
}

bool DesktopChooseComboItem(HWND comboBox, int index) {
    GtkWidget* widget = WidgetOf(comboBox);
    if (!widget || !GTK_IS_COMBO_BOX(widget)) return false;
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), index);
    return true;
}

bool DesktopDragThumb(HWND control, int value) {
    GtkWidget* widget = WidgetOf(control);
    if (!widget || !GTK_IS_RANGE(widget)) return false;
    gboolean handled = FALSE;
    g_signal_emit_by_name(widget, "change-value", GTK_SCROLL_JUMP, static_cast<gdouble>(value), &handled);
    GdkEvent* release = gdk_event_new(GDK_BUTTON_RELEASE);
    release->button.button = 1;
    g_signal_emit_by_name(widget, "button-release-event", release, &handled);
    gdk_event_free(release);
    return true;
}

bool DesktopChooseMenuItem(HWND window, UINT id) {
    GtkWidget* item = Desktop() ? Desktop()->MenuItemWidget(window, id) : nullptr;
    if (!item || !gtk_widget_is_sensitive(item)) return false;
    gtk_menu_item_activate(GTK_MENU_ITEM(item));
    return true;
}

bool DesktopClose(HWND window) {
    GtkWidget* top = TopOf(window);
    if (!top) return false;
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    gboolean handled = FALSE;
    g_signal_emit_by_name(top, "delete-event", event, &handled);
    gdk_event_free(event);
    return true;
}

bool DesktopDoubleClickCaption(HWND dialog) {
    GtkWidget* top = Desktop() ? Desktop()->CaptionWidget(dialog) : nullptr;
    if (!top) return false;
    GdkEvent* event = gdk_event_new(GDK_2BUTTON_PRESS);
    event->button.button = 1;
    gboolean handled = FALSE;
    g_signal_emit_by_name(top, "button-press-event", event, &handled);
    gdk_event_free(event);
    return handled != FALSE;
}

bool DesktopCaptionCentre(HWND dialog, POINT& centre) {
    GtkWidget* caption = Desktop() ? Desktop()->CaptionWidget(dialog) : nullptr;
    GtkWidget* top = TopOf(dialog);
    if (!caption || !top || !gtk_widget_get_realized(top)) return false;
    gint x = 0, y = 0, originX = 0, originY = 0;
    if (!gtk_widget_translate_coordinates(caption, top, gtk_widget_get_allocated_width(caption) / 2,
                                          gtk_widget_get_allocated_height(caption) / 2, &x, &y))
        return false;
    gdk_window_get_origin(gtk_widget_get_window(top), &originX, &originY);
    centre = POINT{originX + x, originY + y};
    return true;
}

DesktopFacts DesktopFactsOf(HWND window) {
    DesktopFacts facts;
    if (GtkWidget* top = TopOf(window)) {
        facts.shown = gtk_widget_get_visible(top);
        facts.sensitive = gtk_widget_get_sensitive(top);
        const char* title = gtk_window_get_title(GTK_WINDOW(top));
        facts.title = title ? title : "";
        GtkWidget* titleBar = gtk_window_get_titlebar(GTK_WINDOW(top));
        facts.closeBox = GTK_IS_HEADER_BAR(titleBar) ? gtk_header_bar_get_show_close_button(GTK_HEADER_BAR(titleBar))
                                                     : gtk_window_get_deletable(GTK_WINDOW(top));
        facts.focusRing = gtk_window_get_focus_visible(GTK_WINDOW(top));
        facts.iconWidth = IconWidthOf(top);
        if (GtkWidget* caption = Desktop()->CaptionWidget(window))
            facts.text = gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(caption))));
        GtkWidget* client = Desktop()->ClientWidget(window);
        if (client && gtk_widget_get_visible(client)) {
            facts.clientWidth = gtk_widget_get_allocated_width(client);
            facts.clientHeight = gtk_widget_get_allocated_height(client);
            facts.clientOnScreen = OnScreen(client);
        }
        // What shows of the window: its title bar and client area (client-side
        // decorations add invisible margins for shadows around them).
        facts.onScreen = facts.clientOnScreen;
        if (titleBar && gtk_widget_get_visible(titleBar)) {
            const RECT bar = OnScreen(titleBar);
            facts.onScreen = facts.onScreen.right > facts.onScreen.left
                                 ? RECT{std::min(bar.left, facts.onScreen.left), std::min(bar.top, facts.onScreen.top),
                                        std::max(bar.right, facts.onScreen.right),
                                        std::max(bar.bottom, facts.onScreen.bottom)}
                                 : bar;
        }
        return facts;
    }
    GtkWidget* widget = WidgetOf(window);
    if (!widget) return facts;
    facts.shown = gtk_widget_get_visible(widget);
    facts.sensitive = gtk_widget_get_sensitive(widget);
    facts.onScreen = OnScreen(widget);
    if (GtkWidget* top = gtk_widget_get_toplevel(widget); GTK_IS_WINDOW(top)) {
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(top));
        facts.focused = focus && (focus == widget || gtk_widget_is_ancestor(focus, widget));
    }
    if (GTK_IS_LABEL(widget)) facts.text = gtk_label_get_text(GTK_LABEL(widget));
    else if (GTK_IS_ENTRY(widget)) facts.text = gtk_entry_get_text(GTK_ENTRY(widget));
    else if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)))
        facts.text = gtk_button_get_label(GTK_BUTTON(widget));
    if (GTK_IS_RANGE(widget)) facts.value = gtk_range_get_value(GTK_RANGE(widget));
    if (GTK_IS_PROGRESS_BAR(widget)) facts.value = gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(widget));
    if (GTK_IS_COMBO_BOX(widget)) facts.value = gtk_combo_box_get_active(GTK_COMBO_BOX(widget));
    if (GTK_IS_TOGGLE_BUTTON(widget)) facts.active = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
    return facts;
}

std::vector<std::uint32_t> DesktopSnapshot(HWND window, int& width, int& height, int deviceScale) {
    width = height = 0;
    GtkWidget* top = TopOf(window);
    GtkWidget* client = top ? Desktop()->ClientWidget(window) : WidgetOf(window);
    if (!client || (top && !GTK_IS_DRAWING_AREA(client))) return {};
    width = gtk_widget_get_allocated_width(client) * deviceScale;
    height = gtk_widget_get_allocated_height(client) * deviceScale;
    if (width <= 0 || height <= 0) return {};
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_set_device_scale(surface, deviceScale, deviceScale);
    cairo_t* cairo = cairo_create(surface);
    gtk_widget_draw(client, cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[static_cast<std::size_t>(y) * width], data + y * stride, width * 4u);
    cairo_surface_destroy(surface);
    return pixels;
}

}  // namespace quillmark::win32
