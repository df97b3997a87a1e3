// The GTK 3 backend: top-level windows, waiting for input, screen and font.
#include "gtk_backend.h"

#include "message_queue.h"
#include "user_input.h"
#include "window_image.h"
#include "window_model.h"

#include <cmath>

namespace quillmark::win32 {
namespace {

constexpr const char* kDialogCss =
    ".quillmark-dialog * { font-family: Sans; font-size: 8pt; min-height: 0; min-width: 0; }"
    ".quillmark-dialog button, .quillmark-dialog entry { padding: 0 4px; }"
    ".quillmark-dialog combobox button { padding: 0 2px; }"
    // A scroll bar as the dialog's rules expect it: arrow buttons for the
    // line steps, the trough for the page steps and a thumb that shows the
    // position (the rule above would shrink the thumb to nothing).
    ".quillmark-dialog scrollbar { -GtkScrollbar-has-backward-stepper: true;"
    " -GtkScrollbar-has-forward-stepper: true; }"
    ".quillmark-dialog scrollbar button { min-width: 12px; min-height: 8px; padding: 0; }"
    ".quillmark-dialog scrollbar slider { min-width: 12px; min-height: 8px; margin: 1px;"
    " background-color: #6e6e6e; border: 1px solid #4a4a4a; border-radius: 2px; }"
    ".quillmark-dialog scrollbar slider:hover { background-color: #555555; }";

void InstallCss() {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kDialogCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    // A click in a scroll bar's or trackbar's trough steps by a page, as a
    // Win32 control does, instead of moving the thumb to the pointer.
    g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
}

HWND HandleOf(gpointer data) { return static_cast<HWND>(data); }

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    SendMessageA(HandleOf(data), WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;  // the window model destroys the widget when the window goes
}

// Dialogs do not move the focus with Tab: keyboard navigation is not routed.
gboolean OnDialogKey(GtkWidget*, GdkEventKey* event, gpointer) {
    return event->keyval == GDK_KEY_Tab || event->keyval == GDK_KEY_ISO_Left_Tab ||
           event->keyval == GDK_KEY_KP_Tab;
}

gboolean OnCaptionPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    if (event->type != GDK_2BUTTON_PRESS || event->button != 1) return FALSE;
    DoubleClickCaption(HandleOf(data));
    MarkUserInput(HandleOf(data));
    return TRUE;
}

gboolean OnDrawImage(GtkWidget* area, cairo_t* cairo, gpointer data) {
    const WindowImage* image = FindWindowImage(HandleOf(data));
    if (!image || image->pixels.empty()) {
        cairo_set_source_rgb(cairo, 0, 0, 0);
        cairo_paint(cairo);
        return TRUE;
    }
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image->pixels.data())), CAIRO_FORMAT_RGB24,
        image->width, image->height, image->width * 4);
    const double sx = static_cast<double>(gtk_widget_get_allocated_width(area)) / image->width;
    const double sy = static_cast<double>(gtk_widget_get_allocated_height(area)) / image->height;
    cairo_scale(cairo, sx, sy);
    cairo_set_source_surface(cairo, surface, 0, 0);
    cairo_paint(cairo);
    cairo_surface_destroy(surface);
    return TRUE;
}

bool IsDialog(const Window& window) { return window.className == "#32770"; }

}  // namespace

bool& SyncingWidgets() {
    static bool syncing = false;
    return syncing;
}

GtkBackend::GtkBackend() { InstallCss(); }

GtkBackend::~GtkBackend() {
    for (auto& [handle, parts] : parts_)
        if (parts.top) gtk_widget_destroy(parts.top);
}

void GtkBackend::WindowCreated(HWND window) {
    const Window* record = FindWindowRecord(window);
    if (!record) return;
    if (!record->parent) CreateTopLevel(window);
    else CreateControl(window);
}

void GtkBackend::CreateTopLevel(HWND window) {
    const Window& record = *FindWindowRecord(window);
    GtkWindowParts parts;
    parts.top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* top = GTK_WINDOW(parts.top);
    gtk_window_set_resizable(top, FALSE);
    gtk_window_set_deletable(top, (record.style & WS_SYSMENU) != 0);
    g_signal_connect(parts.top, "delete-event", G_CALLBACK(OnDelete), window);
    if (IsDialog(record)) {
        parts.header = gtk_header_bar_new();
        gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(parts.header), (record.style & WS_SYSMENU) != 0);
        // The title sits in an event box that catches clicks on the caption.
        parts.caption = gtk_event_box_new();
        GtkWidget* title = gtk_label_new("");
        gtk_style_context_add_class(gtk_widget_get_style_context(title), "title");
        gtk_container_add(GTK_CONTAINER(parts.caption), title);
        gtk_widget_set_hexpand(parts.caption, TRUE);
        gtk_widget_set_valign(parts.caption, GTK_ALIGN_FILL);
        g_signal_connect(parts.caption, "button-press-event", G_CALLBACK(OnCaptionPress), window);
        gtk_header_bar_set_custom_title(GTK_HEADER_BAR(parts.header), parts.caption);
        gtk_window_set_titlebar(top, parts.header);
        gtk_widget_show_all(parts.header);
        g_signal_connect(parts.top, "key-press-event", G_CALLBACK(OnDialogKey), nullptr);
        gtk_style_context_add_class(gtk_widget_get_style_context(parts.top), "quillmark-dialog");
        parts.client = gtk_fixed_new();
    } else {
        parts.client = gtk_drawing_area_new();
        g_signal_connect(parts.client, "draw", G_CALLBACK(OnDrawImage), window);
    }
    if (GtkWindow* owner = ParentWindowOf(record.owner)) gtk_window_set_transient_for(top, owner);
    gtk_container_add(GTK_CONTAINER(parts.top), parts.client);
    gtk_widget_show(parts.client);
    parts_[window] = parts;
    SyncTopLevel(window);
}

void GtkBackend::CreateControl(HWND control) {
    const Window& record = *FindWindowRecord(control);
    auto parent = parts_.find(record.parent);
    if (parent == parts_.end() || !parent->second.client || !GTK_IS_FIXED(parent->second.client)) return;
    GtkWindowParts parts;
    parts.widget = CreateControlWidget(control, parts);
    if (!parts.widget) return;
    gtk_fixed_put(GTK_FIXED(parent->second.client), parts.widget, record.rect.left, record.rect.top);
    if (parts.uncheck) gtk_fixed_put(GTK_FIXED(parent->second.client), parts.uncheck, 0, 0);
    parts_[control] = parts;
    SyncControl(control);
}

void GtkBackend::WindowDestroyed(HWND window) {
    auto found = parts_.find(window);
    if (found == parts_.end()) return;
    GtkWindowParts parts = found->second;
    parts_.erase(found);
    if (parts.top) gtk_widget_destroy(parts.top);
    if (parts.uncheck) gtk_widget_destroy(parts.uncheck);
    if (parts.widget) gtk_widget_destroy(parts.widget);
}

void GtkBackend::WindowChanged(HWND window, WindowChange) {
    auto found = parts_.find(window);
    if (found == parts_.end()) return;
    if (found->second.top) SyncTopLevel(window);
    else SyncControl(window);
}

void GtkBackend::SyncTopLevel(HWND window) {
    const Window* record = FindWindowRecord(window);
    const GtkWindowParts& parts = parts_[window];
    if (!record) return;
    SyncingWidgets() = true;
    const std::string title = Utf8FromWindowsText(record->text);
    gtk_window_set_title(GTK_WINDOW(parts.top), title.c_str());
    if (parts.caption) gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(parts.caption))), title.c_str());
    RECT client{};
    GetClientRect(window, &client);
    gtk_widget_set_size_request(parts.client, client.right, client.bottom);
    gtk_widget_set_visible(parts.client, client.bottom > 0);
    gtk_window_resize(GTK_WINDOW(parts.top), 1, 1);
    gtk_window_move(GTK_WINDOW(parts.top), record->rect.left, record->rect.top);
    gtk_widget_set_sensitive(parts.top, !(record->style & WS_DISABLED));
    gtk_widget_set_visible(parts.top, (record->style & WS_VISIBLE) != 0);
    SyncingWidgets() = false;
}

void GtkBackend::SyncControl(HWND control) {
    const Window* record = FindWindowRecord(control);
    const GtkWindowParts& parts = parts_[control];
    if (!record || !parts.widget) return;
    SyncingWidgets() = true;
    if (GtkWidget* fixed = gtk_widget_get_parent(parts.widget); fixed && GTK_IS_FIXED(fixed))
        gtk_fixed_move(GTK_FIXED(fixed), parts.widget, record->rect.left, record->rect.top);
    const bool combo = LowerCase(record->className) == "combobox";
    gtk_widget_set_size_request(parts.widget, record->rect.right - record->rect.left,
                                combo ? -1 : record->rect.bottom - record->rect.top);
    gtk_widget_set_sensitive(parts.widget, !(record->style & WS_DISABLED));
    gtk_widget_set_visible(parts.widget, (record->style & WS_VISIBLE) != 0);
    SyncControlWidget(control, parts);
    SyncingWidgets() = false;
}

void GtkBackend::ImageShown(HWND window) {
    auto found = parts_.find(window);
    if (found != parts_.end() && found->second.top && GTK_IS_DRAWING_AREA(found->second.client))
        gtk_widget_queue_draw(found->second.client);
}

GtkWindow* GtkBackend::ParentWindowOf(HWND owner) const {
    auto found = parts_.find(owner);
    return found != parts_.end() && found->second.top ? GTK_WINDOW(found->second.top) : nullptr;
}

GtkWidget* GtkBackend::ControlWidget(HWND control) const {
    auto found = parts_.find(control);
    return found == parts_.end() ? nullptr : found->second.widget;
}

GtkWidget* GtkBackend::TopWidget(HWND window) const {
    auto found = parts_.find(window);
    return found == parts_.end() ? nullptr : found->second.top;
}

GtkWidget* GtkBackend::CaptionWidget(HWND dialog) const {
    auto found = parts_.find(dialog);
    return found == parts_.end() ? nullptr : found->second.caption;
}

// Blocks in the GTK main loop until a message can be retrieved: one was
// posted (from a signal handler or another thread) or a window needs
// painting.
void GtkBackend::WaitForInput() {
    MSG message;
    while (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) gtk_main_iteration_do(TRUE);
}

void GtkBackend::BlockForInput() { WaitForInput(); }

void GtkBackend::Pump() {
    if (pumping_) return;
    pumping_ = true;
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    pumping_ = false;
}

void GtkBackend::Wake() { g_main_context_wakeup(nullptr); }

SIZE GtkBackend::ScreenSize() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return SIZE{1920, 1080};
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    return SIZE{area.width, area.height};
}

// The average width of the Latin letters and the line height of the font
// the dialogs are drawn with (its family stands for any template font).
SIZE GtkBackend::FontCharSize(const std::string&, int pointSize) const {
    PangoContext* context = gdk_pango_context_get();
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_size(font, pointSize * PANGO_SCALE);
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    pango_font_description_free(font);
    g_object_unref(context);
    return SIZE{std::max(1, (width / 26 + 1) / 2), std::max(1, height)};
}

BackendImpl* CreateGtkBackend() {
    static const bool initialised = gtk_init_check(nullptr, nullptr);
    return initialised ? new GtkBackend() : nullptr;
}

}  // namespace quillmark::win32
