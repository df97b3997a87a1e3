// The GTK 3 backend: top-level windows, waiting for input, screen and font.
#include "platform/win32/gtk/gtk_backend.h"

#include "platform/win32/commctrl.h"
#include "platform/win32/menu_model.h"
#include "platform/win32/message_queue.h"
#include "platform/win32/user_input.h"
#include "platform/win32/window_image.h"
#include "platform/win32/window_model.h"

#include <algorithm>
#include <cmath>
#include <vector>

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
    ".quillmark-dialog scrollbar slider:hover { background-color: #555555; }"
    // The keyboard focus on a trackbar or scroll bar shows as a ring around
    // it, as it does on the other controls.
    ".quillmark-dialog scrollbar:focus { outline: 2px solid #1c71d8; outline-offset: -2px; }"
    ".quillmark-dialog scale:focus trough { border-color: #1c71d8; background-color: #99c1f1; }"
    ".quillmark-dialog scale:focus slider { border-color: #1c71d8; background-color: #1c71d8; }";

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

// The dialog's controls that Tab stops at, in template order (the order of
// the model's children): those with WS_TABSTOP that are shown and enabled.
std::vector<GtkWidget*> TabStops(HWND dialog, const GtkBackend& backend) {
    std::vector<GtkWidget*> stops;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const Window* record = FindWindowRecord(child);
        GtkWidget* widget = backend.ControlWidget(child);
        if (record && widget && (record->style & WS_TABSTOP) && (record->style & WS_VISIBLE) &&
            !(record->style & WS_DISABLED))
            stops.push_back(widget);
    }
    return stops;
}

// Tab and Shift-Tab move the focus through the tab stops in template order,
// round from the last to the first, and show the focus ring; the focused
// control itself takes the other keys (arrows step a trackbar or a list).
gboolean OnDialogKey(GtkWidget* top, GdkEventKey* event, gpointer data) {
    const bool forward = event->keyval == GDK_KEY_Tab || event->keyval == GDK_KEY_KP_Tab;
    const bool backward = event->keyval == GDK_KEY_ISO_Left_Tab;
    if (!forward && !backward) return FALSE;
    const auto* backend = dynamic_cast<const GtkBackend*>(&ActiveBackend());
    if (!backend) return FALSE;
    const std::vector<GtkWidget*> stops = TabStops(HandleOf(data), *backend);
    if (stops.empty()) return TRUE;
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(top));
    const auto holds = [focus](GtkWidget* stop) {
        return focus && (focus == stop || gtk_widget_is_ancestor(focus, stop));
    };
    const auto current = std::find_if(stops.begin(), stops.end(), holds);
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(stops.size());
    std::ptrdiff_t next = forward ? 0 : count - 1;
    if (current != stops.end()) next = ((current - stops.begin()) + (forward ? 1 : count - 1)) % count;
    gtk_widget_grab_focus(stops[static_cast<std::size_t>(next)]);
    gtk_window_set_focus_visible(GTK_WINDOW(top), TRUE);
    return TRUE;
}

// The dialog draws its own caption (the header bar): dragging it moves the
// dialog (through the window manager where there is one) and a double
// click rolls it up, as a caption does. The move starts once the pointer
// has gone past the drag threshold, so that clicks stay clicks.
constexpr const char* kCaptionPressX = "quillmark-caption-press-x";
constexpr const char* kCaptionPressY = "quillmark-caption-press-y";

void ForgetCaptionPress(GtkWidget* caption) {
    g_object_set_data(G_OBJECT(caption), kCaptionPressX, nullptr);
    g_object_set_data(G_OBJECT(caption), kCaptionPressY, nullptr);
}

// Stored one above the coordinate, so that a null pointer means "none".
void RememberCaptionPress(GtkWidget* caption, const GdkEventButton& event) {
    g_object_set_data(G_OBJECT(caption), kCaptionPressX, GINT_TO_POINTER(static_cast<gint>(event.x_root) + 1));
    g_object_set_data(G_OBJECT(caption), kCaptionPressY, GINT_TO_POINTER(static_cast<gint>(event.y_root) + 1));
}

gboolean OnCaptionPress(GtkWidget* caption, GdkEventButton* event, gpointer data) {
    if (event->button != 1) return FALSE;
    if (event->type == GDK_2BUTTON_PRESS) {
        ForgetCaptionPress(caption);
        DoubleClickCaption(HandleOf(data));
        MarkUserInput(HandleOf(data));
        return TRUE;
    }
    if (event->type == GDK_BUTTON_PRESS) RememberCaptionPress(caption, *event);
    return TRUE;
}

gboolean OnCaptionRelease(GtkWidget* caption, GdkEventButton*, gpointer) {
    ForgetCaptionPress(caption);
    return FALSE;
}

gboolean OnCaptionMotion(GtkWidget* caption, GdkEventMotion* event, gpointer) {
    const gint x = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(caption), kCaptionPressX)) - 1;
    const gint y = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(caption), kCaptionPressY)) - 1;
    if (x < 0 || !(event->state & GDK_BUTTON1_MASK)) return FALSE;
    if (!gtk_drag_check_threshold(caption, x, y, static_cast<gint>(event->x_root), static_cast<gint>(event->y_root)))
        return FALSE;
    ForgetCaptionPress(caption);
    gtk_window_begin_move_drag(GTK_WINDOW(gtk_widget_get_toplevel(caption)), 1, x, y, event->time);
    return TRUE;
}

// A window the user (or the window manager) moved is moved in the model
// too, so that the program sees its place and a later change of its size
// leaves it there.
gboolean OnConfigure(GtkWidget* top, GdkEventConfigure*, gpointer data) {
    const Window* record = FindWindowRecord(HandleOf(data));
    if (!record || SyncingWidgets() || !gtk_widget_get_visible(top)) return FALSE;
    gint x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(top), &x, &y);
    if (x != record->rect.left || y != record->rect.top)
        SetWindowPos(HandleOf(data), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return FALSE;
}

// The whole factor the presented image is enlarged by to fill the area
// (for a larger area, or on a screen of two or more device pixels per pixel).
int EnlargementOf(GtkWidget* area, const WindowImage& image) {
    if (image.width <= 0 || image.height <= 0) return 1;
    return std::max(1, std::min(gtk_widget_get_allocated_width(area) / image.width,
                                gtk_widget_get_allocated_height(area) / image.height));
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
    // Enlarged by whole factors only, each texel a block of equal pixels:
    // smoothing would hide the very detail the frame is there to show.
    const int factor = EnlargementOf(area, *image);
    cairo_scale(cairo, factor, factor);
    cairo_set_source_surface(cairo, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_NEAREST);
    cairo_paint(cairo);
    cairo_surface_destroy(surface);
    return TRUE;
}

// The pointer over the main window's client area: WM_MOUSEMOVE with the
// client pixel under it (of the presented image, however enlarged) and the
// keys and button held.
gboolean OnClientMotion(GtkWidget* area, GdkEventMotion* event, gpointer data) {
    const WindowImage* image = FindWindowImage(HandleOf(data));
    const int factor = image ? EnlargementOf(area, *image) : 1;
    const int x = static_cast<int>(std::floor(event->x)) / factor, y = static_cast<int>(std::floor(event->y)) / factor;
    WPARAM held = 0;
    if (event->state & GDK_BUTTON1_MASK) held |= MK_LBUTTON;
    if (event->state & GDK_BUTTON3_MASK) held |= MK_RBUTTON;
    if (event->state & GDK_SHIFT_MASK) held |= MK_SHIFT;
    if (event->state & GDK_CONTROL_MASK) held |= MK_CONTROL;
    PostMessageA(HandleOf(data), WM_MOUSEMOVE, held, MAKELPARAM(x, y));
    return FALSE;
}

bool IsDialog(const Window& window) { return window.className == "#32770"; }

// A press of the left button on a window's picture is WM_LBUTTONDOWN at the
// image pixel under the pointer, queued as the input a Win32 window receives.
gboolean OnImagePress(GtkWidget* area, GdkEventButton* event, gpointer data) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
    const WindowImage* image = FindWindowImage(HandleOf(data));
    const int factor = image ? EnlargementOf(area, *image) : 1;
    const int x = int(event->x) / factor, y = int(event->y) / factor;
    PostMessageA(HandleOf(data), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    return TRUE;
}

// The virtual-key code of a key for a window that is not a dialog: letters
// as their capitals, digits as themselves; 0 for the keys it does not take.
UINT VirtualKeyOf(guint keyval) {
    const guint upper = gdk_keyval_to_upper(keyval);
    if ((upper >= GDK_KEY_A && upper <= GDK_KEY_Z) || (upper >= GDK_KEY_0 && upper <= GDK_KEY_9)) return UINT(upper);
    switch (keyval) {
    case GDK_KEY_space: return VK_SPACE;
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_Return: return VK_RETURN;
    default: return 0;
    }
}

// A key pressed in a window that is not a dialog is WM_KEYDOWN to it.
gboolean OnWindowKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    const UINT key = VirtualKeyOf(event->keyval);
    if (!key || (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))) return FALSE;
    PostMessageA(HandleOf(data), WM_KEYDOWN, key, 1);
    return TRUE;
}

constexpr const char* kMenuCommand = "quillmark-menu-command";

// A menu's text as a GTK label: '&' marks the mnemonic ('_' for GTK, "&&" a
// plain '&'), and what follows a tab (the shortcut's name) is left out.
std::string MenuLabel(const std::string& text) {
    std::string label;
    for (std::size_t i = 0; i < text.size() && text[i] != '\t'; ++i) {
        if (text[i] == '_') label += "__";
        else if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&') label += '&', ++i;
        else if (text[i] == '&') label += '_';
        else label += text[i];
    }
    return Utf8FromWindowsText(label);
}

// Choosing an item posts its command to the window, as the menu loop does
// once the menu has closed.
void OnMenuActivate(GtkMenuItem* item, gpointer data) {
    if (SyncingWidgets()) return;
    const UINT id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kMenuCommand));
    PostMessageA(HandleOf(data), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void FillMenu(GtkMenuShell* shell, HMENU menu, HWND window) {
    for (const MenuEntry& entry : MenuEntriesOf(menu)) {
        GtkWidget* item = nullptr;
        if (entry.flags & MF_SEPARATOR) {
            item = gtk_separator_menu_item_new();
        } else if (entry.flags & MF_POPUP) {
            item = gtk_menu_item_new_with_mnemonic(MenuLabel(entry.text).c_str());
            GtkWidget* popup = gtk_menu_new();
            FillMenu(GTK_MENU_SHELL(popup), entry.popup, window);
            gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), popup);
        } else {
            item = (entry.flags & MF_CHECKED) ? gtk_check_menu_item_new_with_mnemonic(MenuLabel(entry.text).c_str())
                                              : gtk_menu_item_new_with_mnemonic(MenuLabel(entry.text).c_str());
            if (entry.flags & MF_CHECKED) gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
            g_object_set_data(G_OBJECT(item), kMenuCommand, GUINT_TO_POINTER(entry.id));
            g_signal_connect(item, "activate", G_CALLBACK(OnMenuActivate), window);
        }
        gtk_widget_set_sensitive(item, !(entry.flags & (MF_GRAYED | MF_DISABLED)));
        gtk_menu_shell_append(shell, item);
        gtk_widget_show(item);
    }
}

GtkWidget* FindMenuItem(GtkWidget* shell, UINT id) {
    GtkWidget* found = nullptr;
    GList* items = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* entry = items; entry && !found; entry = entry->next) {
        GtkWidget* item = GTK_WIDGET(entry->data);
        if (!GTK_IS_MENU_ITEM(item)) continue;
        if (GtkWidget* popup = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) found = FindMenuItem(popup, id);
        else if (g_object_get_data(G_OBJECT(item), kMenuCommand) &&
                 GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kMenuCommand)) == id)
            found = item;
    }
    g_list_free(items);
    return found;
}

// A dialog's client shows all of its controls (the GtkFixed is as large as
// the client and the controls' extent) within the size the model gives it,
// and no further than the bottom and right edges of its monitor's work area
// below its header bar, which may be taller than the model's caption: what
// does not fit is scrolled to.
void SizeDialogClient(const Window& record, const GtkWindowParts& parts, const RECT& client) {
    LONG right = client.right, bottom = client.bottom;
    for (HWND child : record.children)
        if (const Window* control = FindWindowRecord(child)) {
            right = std::max(right, control->rect.right);
            bottom = std::max(bottom, control->rect.bottom);
        }
    gtk_widget_set_size_request(parts.client, right, bottom);
    int header = 0;
    gtk_widget_get_preferred_height(parts.header, nullptr, &header);
    const RECT area = ActiveBackend().WorkAreaNear(POINT{record.rect.left, record.rect.top});
    const LONG width = std::min(client.right, area.right - std::max(area.left, record.rect.left));
    const LONG height = std::min(client.bottom, area.bottom - std::max(area.top, record.rect.top) - header);
    gtk_widget_set_size_request(parts.scroller, std::max<LONG>(width, 1), std::max<LONG>(height, 1));
}

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
    g_signal_connect(parts.top, "configure-event", G_CALLBACK(OnConfigure), window);
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
        gtk_widget_add_events(parts.caption, GDK_BUTTON1_MOTION_MASK | GDK_BUTTON_RELEASE_MASK);
        g_signal_connect(parts.caption, "button-press-event", G_CALLBACK(OnCaptionPress), window);
        g_signal_connect(parts.caption, "button-release-event", G_CALLBACK(OnCaptionRelease), nullptr);
        g_signal_connect(parts.caption, "motion-notify-event", G_CALLBACK(OnCaptionMotion), nullptr);
        gtk_header_bar_set_custom_title(GTK_HEADER_BAR(parts.header), parts.caption);
        gtk_window_set_titlebar(top, parts.header);
        gtk_widget_show_all(parts.header);
        g_signal_connect(parts.top, "key-press-event", G_CALLBACK(OnDialogKey), window);
        gtk_style_context_add_class(gtk_widget_get_style_context(parts.top), "quillmark-dialog");
        parts.client = gtk_fixed_new();
        // A dialog shortened to fit its monitor scrolls, and follows the
        // keyboard focus to the control that takes it.
        parts.scroller = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(parts.scroller), GTK_POLICY_AUTOMATIC,
                                       GTK_POLICY_AUTOMATIC);
        gtk_container_add(GTK_CONTAINER(parts.scroller), parts.client);
        GtkScrolledWindow* scroller = GTK_SCROLLED_WINDOW(parts.scroller);
        gtk_container_set_focus_hadjustment(GTK_CONTAINER(parts.client), gtk_scrolled_window_get_hadjustment(scroller));
        gtk_container_set_focus_vadjustment(GTK_CONTAINER(parts.client), gtk_scrolled_window_get_vadjustment(scroller));
        gtk_widget_show(parts.client);
    } else {
        parts.client = gtk_drawing_area_new();
        g_signal_connect(parts.client, "draw", G_CALLBACK(OnDrawImage), window);
        gtk_widget_add_events(parts.client, GDK_POINTER_MOTION_MASK);
        g_signal_connect(parts.client, "motion-notify-event", G_CALLBACK(OnClientMotion), window);
        gtk_widget_add_events(parts.client, GDK_BUTTON_PRESS_MASK);
        g_signal_connect(parts.client, "button-press-event", G_CALLBACK(OnImagePress), window);
        g_signal_connect(parts.top, "key-press-event", G_CALLBACK(OnWindowKey), window);
        // The menu bar stands above the client area, outside it.
        parts.menuBar = gtk_menu_bar_new();
        gtk_widget_set_no_show_all(parts.menuBar, TRUE);
    }
    if (GtkWindow* owner = ParentWindowOf(record.owner)) gtk_window_set_transient_for(top, owner);
    GtkWidget* content = parts.scroller ? parts.scroller : parts.client;
    if (parts.menuBar) {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_box_pack_start(GTK_BOX(box), parts.menuBar, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), parts.client, FALSE, FALSE, 0);
        gtk_widget_show(parts.client);
        content = box;
    }
    gtk_container_add(GTK_CONTAINER(parts.top), content);
    gtk_widget_show(content);
    parts_[window] = parts;
    SyncTopLevel(window);
}

void GtkBackend::CreateControl(HWND control) {
    const Window& record = *FindWindowRecord(control);
    auto parent = parts_.find(record.parent);
    if (parent == parts_.end() || !parent->second.client) return;
    // A status bar of the main window stands below its client area, outside
    // it (as the menu bar stands above), so that the frame keeps its size.
    const bool statusBar = LowerCase(record.className) == LowerCase(STATUSCLASSNAMEA);
    if (!GTK_IS_FIXED(parent->second.client) && !(statusBar && parent->second.menuBar)) return;
    GtkWindowParts parts;
    parts.widget = CreateControlWidget(control, parts);
    if (!parts.widget) return;
    if (statusBar) {
        gtk_box_pack_start(GTK_BOX(gtk_widget_get_parent(parent->second.client)), parts.widget, FALSE, FALSE, 0);
    } else {
        gtk_fixed_put(GTK_FIXED(parent->second.client), parts.widget, record.rect.left, record.rect.top);
        if (parts.uncheck) gtk_fixed_put(GTK_FIXED(parent->second.client), parts.uncheck, 0, 0);
    }
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

void GtkBackend::WindowChanged(HWND window, WindowChange change) {
    auto found = parts_.find(window);
    if (found == parts_.end()) return;
    if (change == WindowChange::Menu) SyncMenuBar(window);
    else if (found->second.top) SyncTopLevel(window);
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
    if (parts.scroller) SizeDialogClient(*record, parts, client);
    else gtk_widget_set_size_request(parts.client, client.right, client.bottom);
    gtk_widget_set_visible(parts.scroller ? parts.scroller : parts.client, client.bottom > 0);
    gtk_window_resize(GTK_WINDOW(parts.top), 1, 1);
    gtk_window_move(GTK_WINDOW(parts.top), record->rect.left, record->rect.top);
    gtk_widget_set_sensitive(parts.top, !(record->style & WS_DISABLED));
    gtk_widget_set_visible(parts.top, (record->style & WS_VISIBLE) != 0);
    // An owned window stays above its owner, as on Win32 (a desktop without a
    // window manager would otherwise stack the owner shown last on top).
    if (record->style & WS_VISIBLE)
        for (const auto& [handle, owned] : parts_) {
            const Window* ownedRecord = owned.top ? FindWindowRecord(handle) : nullptr;
            if (ownedRecord && ownedRecord->owner == window && gtk_widget_get_realized(owned.top))
                gdk_window_raise(gtk_widget_get_window(owned.top));
        }
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

GtkWidget* GtkBackend::ClientWidget(HWND window) const {
    auto found = parts_.find(window);
    if (found == parts_.end()) return nullptr;
    return found->second.scroller ? found->second.scroller : found->second.client;
}

void GtkBackend::SyncMenuBar(HWND window) {
    const GtkWindowParts& parts = parts_[window];
    if (!parts.menuBar) return;
    SyncingWidgets() = true;
    GList* items = gtk_container_get_children(GTK_CONTAINER(parts.menuBar));
    for (GList* item = items; item; item = item->next) gtk_widget_destroy(GTK_WIDGET(item->data));
    g_list_free(items);
    const HMENU menu = GetMenu(window);
    FillMenu(GTK_MENU_SHELL(parts.menuBar), menu, window);
    gtk_widget_set_visible(parts.menuBar, menu != nullptr);
    SyncingWidgets() = false;
}

GtkWidget* GtkBackend::MenuItemWidget(HWND window, UINT id) const {
    auto found = parts_.find(window);
    return found == parts_.end() || !found->second.menuBar ? nullptr : FindMenuItem(found->second.menuBar, id);
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

void GtkBackend::SetProgramIcon(const std::string& image) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    const bool written =
        gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(image.data()), image.size(), nullptr);
    const bool closed = gdk_pixbuf_loader_close(loader, nullptr);  // always, to release the loader's state
    GdkPixbuf* icon = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (icon) {
        gtk_window_set_default_icon(icon);  // windows created from now on, message boxes included
        for (auto& [handle, parts] : parts_)
            if (parts.top) gtk_window_set_icon(GTK_WINDOW(parts.top), icon);
    }
    g_object_unref(loader);
}

SIZE GtkBackend::ScreenSize() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return SIZE{1920, 1080};
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    return SIZE{area.width, area.height};
}

RECT GtkBackend::WorkAreaNear(POINT point) const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, point.x, point.y);
    if (!monitor) return BackendImpl::WorkAreaNear(point);
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    return RECT{area.x, area.y, area.x + area.width, area.y + area.height};
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
