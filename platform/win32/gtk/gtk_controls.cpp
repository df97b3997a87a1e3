// Control widgets: created from the control's class and style, kept in
// step with the window model, and turning the user's doing into the
// control's messages.
#include "platform/win32/controls.h"
#include "platform/win32/gtk/gtk_backend.h"
#include "platform/win32/user_input.h"

#include <algorithm>
#include <cmath>

namespace quillmark::win32 {
namespace {

HWND HandleOf(gpointer data) { return static_cast<HWND>(data); }

std::string ClassOf(HWND control) {
    const Window* record = FindWindowRecord(control);
    return record ? LowerCase(record->className) : std::string();
}

DWORD StyleOf(HWND control) {
    const Window* record = FindWindowRecord(control);
    return record ? record->style : 0;
}

std::string TextOf(HWND control) {
    const Window* record = FindWindowRecord(control);
    return record ? Utf8FromWindowsText(record->text) : std::string();
}

// Signals that are the user's doing.
void OnButtonClicked(GtkButton*, gpointer data) {
    if (SyncingWidgets()) return;
    ClickButton(HandleOf(data));
    MarkUserInput(HandleOf(data));
}

void OnComboChanged(GtkComboBox* combo, gpointer data) {
    const int index = gtk_combo_box_get_active(combo);
    if (SyncingWidgets() || index < 0) return;
    SelectComboItem(HandleOf(data), index);
    MarkUserInput(HandleOf(data));
}

void OnEntryChanged(GtkEditable* entry, gpointer data) {
    if (SyncingWidgets()) return;
    SyncingWidgets() = true;
    SetWindowTextA(HandleOf(data), gtk_entry_get_text(GTK_ENTRY(entry)));
    SyncingWidgets() = false;
    NotifyParentCommand(HandleOf(data), EN_CHANGE);
}

constexpr const char* kDragging = "quillmark-dragging";

bool TakeDragging(GtkWidget* widget) {
    const bool dragging = g_object_get_data(G_OBJECT(widget), kDragging) != nullptr;
    g_object_set_data(G_OBJECT(widget), kDragging, nullptr);
    return dragging;
}

gboolean OnTrackbarChange(GtkRange* range, GtkScrollType scroll, gdouble value, gpointer data) {
    const HWND trackbar = HandleOf(data);
    if (!IsWindowEnabled(trackbar)) return TRUE;
    switch (scroll) {
    case GTK_SCROLL_STEP_BACKWARD: case GTK_SCROLL_STEP_LEFT: case GTK_SCROLL_STEP_UP:
        UserStepsTrackbar(trackbar, TB_LINEUP); break;
    case GTK_SCROLL_STEP_FORWARD: case GTK_SCROLL_STEP_RIGHT: case GTK_SCROLL_STEP_DOWN:
        UserStepsTrackbar(trackbar, TB_LINEDOWN); break;
    case GTK_SCROLL_PAGE_BACKWARD: case GTK_SCROLL_PAGE_LEFT: case GTK_SCROLL_PAGE_UP:
        UserStepsTrackbar(trackbar, TB_PAGEUP); break;
    case GTK_SCROLL_PAGE_FORWARD: case GTK_SCROLL_PAGE_RIGHT: case GTK_SCROLL_PAGE_DOWN:
        UserStepsTrackbar(trackbar, TB_PAGEDOWN); break;
    case GTK_SCROLL_START: UserStepsTrackbar(trackbar, TB_TOP); break;
    case GTK_SCROLL_END: UserStepsTrackbar(trackbar, TB_BOTTOM); break;
    default:
        g_object_set_data(G_OBJECT(range), kDragging, GINT_TO_POINTER(1));
        UserMovesTrackbarThumb(trackbar, static_cast<int>(std::lround(value)));
        break;
    }
    MarkUserInput(trackbar);
    return TRUE;  // the model sets the widget's value
}

gboolean OnTrackbarRelease(GtkWidget* widget, GdkEvent*, gpointer data) {
    if (!TakeDragging(widget)) return FALSE;
    UserReleasesTrackbar(HandleOf(data));
    MarkUserInput(HandleOf(data));
    return FALSE;
}

// A press on a scroll bar off its thumb: on an arrow button (a line step)
// unless GTK pages the trough for it at once. GTK scrolls smoothly while an
// arrow is held, in fractions of a step that a whole-number position never
// shows; the arrow's press therefore sends one line step of its own.
enum class OffThumbPress { None, Before, After, Paged, Stepped };
constexpr const char* kOffThumbPress = "quillmark-off-thumb-press";

OffThumbPress PressOf(GtkWidget* widget) {
    return static_cast<OffThumbPress>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), kOffThumbPress)));
}

void SetPress(GtkWidget* widget, OffThumbPress press) {
    g_object_set_data(G_OBJECT(widget), kOffThumbPress, GINT_TO_POINTER(static_cast<int>(press)));
}

void StepForPress(GtkWidget* widget, HWND bar) {
    const OffThumbPress press = PressOf(widget);
    if (press != OffThumbPress::Before && press != OffThumbPress::After) return;
    UserPressesScrollBar(bar, press == OffThumbPress::Before ? SB_LINELEFT : SB_LINERIGHT);
    MarkUserInput(bar);
    SetPress(widget, OffThumbPress::Stepped);
}

gboolean OnScrollBarPress(GtkWidget* widget, GdkEventButton* event, gpointer) {
    int start = 0, end = 0;
    gtk_range_get_slider_range(GTK_RANGE(widget), &start, &end);
    const bool vertical = gtk_orientable_get_orientation(GTK_ORIENTABLE(widget)) == GTK_ORIENTATION_VERTICAL;
    const double at = vertical ? event->y : event->x;
    SetPress(widget, at < start ? OffThumbPress::Before : at >= end ? OffThumbPress::After : OffThumbPress::None);
    return FALSE;
}

gboolean OnScrollBarChange(GtkRange* range, GtkScrollType scroll, gdouble value, gpointer data) {
    const HWND bar = HandleOf(data);
    if (!IsWindowEnabled(bar)) return TRUE;
    if (scroll == GTK_SCROLL_JUMP && PressOf(GTK_WIDGET(range)) != OffThumbPress::None) {
        StepForPress(GTK_WIDGET(range), bar);  // an arrow held: one step per press
        return TRUE;
    }
    if (scroll != GTK_SCROLL_JUMP && PressOf(GTK_WIDGET(range)) != OffThumbPress::None)
        SetPress(GTK_WIDGET(range), OffThumbPress::Paged);
    switch (scroll) {
    case GTK_SCROLL_STEP_BACKWARD: case GTK_SCROLL_STEP_LEFT: case GTK_SCROLL_STEP_UP:
        UserPressesScrollBar(bar, SB_LINELEFT); break;
    case GTK_SCROLL_STEP_FORWARD: case GTK_SCROLL_STEP_RIGHT: case GTK_SCROLL_STEP_DOWN:
        UserPressesScrollBar(bar, SB_LINERIGHT); break;
    case GTK_SCROLL_PAGE_BACKWARD: case GTK_SCROLL_PAGE_LEFT: case GTK_SCROLL_PAGE_UP:
        UserPressesScrollBar(bar, SB_PAGELEFT); break;
    case GTK_SCROLL_PAGE_FORWARD: case GTK_SCROLL_PAGE_RIGHT: case GTK_SCROLL_PAGE_DOWN:
        UserPressesScrollBar(bar, SB_PAGERIGHT); break;
    case GTK_SCROLL_START: UserPressesScrollBar(bar, SB_LEFT); break;
    case GTK_SCROLL_END: UserPressesScrollBar(bar, SB_RIGHT); break;
    default:
        g_object_set_data(G_OBJECT(range), kDragging, GINT_TO_POINTER(1));
        UserTracksScrollThumb(bar, static_cast<int>(std::lround(value)));
        break;
    }
    MarkUserInput(bar);
    return TRUE;  // the parent moves a scroll bar, not the scroll bar itself
}

gboolean OnScrollBarRelease(GtkWidget* widget, GdkEvent*, gpointer data) {
    StepForPress(widget, HandleOf(data));  // a click on an arrow too short for GTK to scroll
    SetPress(widget, OffThumbPress::None);
    if (!TakeDragging(widget)) return FALSE;
    UserReleasesScrollThumb(HandleOf(data));
    MarkUserInput(HandleOf(data));
    return FALSE;
}

// The keys a focused Win32 scroll bar answers: the arrows step it by a line,
// Page Up and Page Down by a page, Home and End send SB_LEFT and SB_RIGHT.
gboolean OnScrollBarKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    const HWND bar = HandleOf(data);
    int code = -1;
    switch (event->keyval) {
    case GDK_KEY_Left: case GDK_KEY_KP_Left: case GDK_KEY_Up: case GDK_KEY_KP_Up: code = SB_LINELEFT; break;
    case GDK_KEY_Right: case GDK_KEY_KP_Right: case GDK_KEY_Down: case GDK_KEY_KP_Down: code = SB_LINERIGHT; break;
    case GDK_KEY_Page_Up: case GDK_KEY_KP_Page_Up: code = SB_PAGELEFT; break;
    case GDK_KEY_Page_Down: case GDK_KEY_KP_Page_Down: code = SB_PAGERIGHT; break;
    case GDK_KEY_Home: case GDK_KEY_KP_Home: code = SB_LEFT; break;
    case GDK_KEY_End: case GDK_KEY_KP_End: code = SB_RIGHT; break;
    default: return FALSE;
    }
    if (!IsWindowEnabled(bar)) return TRUE;
    UserPressesScrollBar(bar, code);
    MarkUserInput(bar);
    return TRUE;
}

GtkWidget* CreateButton(HWND control, GtkWindowParts& parts) {
    const std::string label = TextOf(control);
    GtkWidget* widget = nullptr;
    switch (StyleOf(control) & BS_TYPEMASK) {
    case BS_GROUPBOX: return gtk_frame_new(label.c_str());
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_3STATE: case BS_AUTO3STATE:
        widget = gtk_check_button_new_with_label(label.c_str());
        break;
    case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
        // A hidden partner in its GTK group lets the model uncheck it.
        parts.uncheck = gtk_radio_button_new(nullptr);
        widget = gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(parts.uncheck), label.c_str());
        gtk_widget_set_no_show_all(parts.uncheck, TRUE);
        break;
    default: widget = gtk_button_new_with_label(label.c_str()); break;
    }
    g_signal_connect(widget, "clicked", G_CALLBACK(OnButtonClicked), control);
    return widget;
}

GtkWidget* CreateRange(HWND control, bool trackbar) {
    const bool vertical = trackbar ? (StyleOf(control) & TBS_VERT) != 0 : (StyleOf(control) & SBS_VERT) != 0;
    const GtkOrientation orientation = vertical ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL;
    GtkAdjustment* adjustment = gtk_adjustment_new(0, 0, 1, 1, 10, 0);
    GtkWidget* widget = trackbar ? gtk_scale_new(orientation, adjustment) : gtk_scrollbar_new(orientation, adjustment);
    if (trackbar) {
        gtk_scale_set_draw_value(GTK_SCALE(widget), FALSE);
        gtk_scale_set_digits(GTK_SCALE(widget), 0);
    }
    g_signal_connect(widget, "change-value", G_CALLBACK(trackbar ? OnTrackbarChange : OnScrollBarChange), control);
    g_signal_connect(widget, "button-release-event", G_CALLBACK(trackbar ? OnTrackbarRelease : OnScrollBarRelease),
                     control);
    if (!trackbar) {
        g_signal_connect(widget, "button-press-event", G_CALLBACK(OnScrollBarPress), control);
        g_signal_connect(widget, "key-press-event", G_CALLBACK(OnScrollBarKey), control);
    }
    return widget;
}

void SyncButton(HWND control, const GtkWindowParts& parts) {
    const std::string label = TextOf(control);
    if (GTK_IS_FRAME(parts.widget)) {
        gtk_frame_set_label(GTK_FRAME(parts.widget), label.c_str());
        return;
    }
    gtk_button_set_label(GTK_BUTTON(parts.widget), label.c_str());
    if (!GTK_IS_TOGGLE_BUTTON(parts.widget)) return;
    const LRESULT check = SendMessageA(control, BM_GETCHECK, 0, 0);
    if (parts.uncheck && !check) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(parts.uncheck), TRUE);
    else gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(parts.widget), check != BST_UNCHECKED);
    gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(parts.widget), check == BST_INDETERMINATE);
}

void SyncCombo(HWND control, GtkWidget* widget) {
    const ComboState state = ComboStateOf(control);
    GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(widget);
    gtk_combo_box_text_remove_all(combo);
    for (const std::string& item : state.items)
        gtk_combo_box_text_append_text(combo, Utf8FromWindowsText(item).c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), state.selection);
}

void SyncScrollBar(HWND control, GtkWidget* widget) {
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(control, SB_CTL, &info);
    // Without a page the thumb is drawn a tenth of the track long; the
    // positions still run from nMin to nMax.
    const double page = std::max({static_cast<double>(info.nPage), (info.nMax - info.nMin + 1) / 10.0, 1.0});
    gtk_adjustment_configure(gtk_range_get_adjustment(GTK_RANGE(widget)), info.nPos, info.nMin,
                             info.nMax + page, 1, 10, page);
}

void SyncTrackbar(HWND control, GtkWidget* widget) {
    const TrackbarState state = TrackbarStateOf(control);
    const auto page = static_cast<double>(SendMessageA(control, TBM_GETPAGESIZE, 0, 0));
    gtk_adjustment_configure(gtk_range_get_adjustment(GTK_RANGE(widget)), state.pos, state.min, state.max, 1, page, 0);
}

void SyncProgress(HWND control, GtkWidget* widget) {
    const ProgressState state = ProgressStateOf(control);
    const double span = state.max - state.min;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget), span > 0 ? (state.pos - state.min) / span : 0.0);
}

float AlignmentOf(DWORD style, bool edit) {
    const DWORD align = style & 0x3;
    if (align == (edit ? ES_RIGHT : SS_RIGHT)) return 1.0f;
    if (align == (edit ? ES_CENTER : SS_CENTER)) return 0.5f;
    return 0.0f;
}

}  // namespace

GtkWidget* CreateControlWidget(HWND control, GtkWindowParts& parts) {
    const std::string kind = ClassOf(control);
    GtkWidget* widget = nullptr;
    if (kind == "button") {
        widget = CreateButton(control, parts);
    } else if (kind == "static") {
        widget = gtk_label_new("");
        gtk_label_set_xalign(GTK_LABEL(widget), AlignmentOf(StyleOf(control), false));
    } else if (kind == "edit") {
        widget = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(widget), 1);  // as narrow as the template says
        gtk_entry_set_alignment(GTK_ENTRY(widget), AlignmentOf(StyleOf(control), true));
        gtk_entry_set_has_frame(GTK_ENTRY(widget), (StyleOf(control) & WS_BORDER) != 0);
        g_signal_connect(widget, "changed", G_CALLBACK(OnEntryChanged), control);
    } else if (kind == "combobox") {
        widget = gtk_combo_box_text_new();
        g_signal_connect(widget, "changed", G_CALLBACK(OnComboChanged), control);
    } else if (kind == "scrollbar" || kind == LowerCase(TRACKBAR_CLASSA)) {
        widget = CreateRange(control, kind != "scrollbar");
    } else if (kind == LowerCase(PROGRESS_CLASSA)) {
        widget = gtk_progress_bar_new();
    } else if (kind == LowerCase(STATUSCLASSNAMEA)) {
        // As wide as the window it stands in, however long its text: the end
        // of a longer text is cut off.
        widget = gtk_label_new("");
        gtk_label_set_xalign(GTK_LABEL(widget), 0);
        gtk_label_set_ellipsize(GTK_LABEL(widget), PANGO_ELLIPSIZE_END);
        gtk_label_set_max_width_chars(GTK_LABEL(widget), 1);
        gtk_widget_set_margin_start(widget, 4);
        gtk_widget_set_margin_top(widget, 2);
        gtk_widget_set_margin_bottom(widget, 2);
    }
    return widget;
}

void SyncControlWidget(HWND control, const GtkWindowParts& parts) {
    const std::string kind = ClassOf(control);
    GtkWidget* widget = parts.widget;
    if (kind == "button") {
        SyncButton(control, parts);
    } else if (kind == "static" || kind == LowerCase(STATUSCLASSNAMEA)) {
        gtk_label_set_text(GTK_LABEL(widget), TextOf(control).c_str());
    } else if (kind == "edit") {
        const std::string text = TextOf(control);
        if (text != gtk_entry_get_text(GTK_ENTRY(widget))) gtk_entry_set_text(GTK_ENTRY(widget), text.c_str());
        gtk_editable_set_editable(GTK_EDITABLE(widget), !(StyleOf(control) & ES_READONLY));
    } else if (kind == "combobox") {
        SyncCombo(control, widget);
    } else if (kind == "scrollbar") {
        SyncScrollBar(control, widget);
        // A scroll bar that is a tab stop takes the keyboard focus, as a Win32 one does.
        gtk_widget_set_can_focus(widget, (StyleOf(control) & WS_TABSTOP) != 0);
    } else if (kind == LowerCase(TRACKBAR_CLASSA)) {
        SyncTrackbar(control, widget);
    } else if (kind == LowerCase(PROGRESS_CLASSA)) {
        SyncProgress(control, widget);
    }
}

}  // namespace quillmark::win32
