// Message boxes and the file-open dialog as modal GTK dialogs.
#include "platform/win32/gtk/gtk_backend.h"

#include <vector>

namespace quillmark::win32 {
namespace {

struct Button {
    const char* label;
    int id;
};

std::vector<Button> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"_OK", IDOK}, {"_Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{"_Abort", IDABORT}, {"_Retry", IDRETRY}, {"_Ignore", IDIGNORE}};
    case MB_YESNOCANCEL: return {{"_Yes", IDYES}, {"_No", IDNO}, {"_Cancel", IDCANCEL}};
    case MB_YESNO: return {{"_Yes", IDYES}, {"_No", IDNO}};
    case MB_RETRYCANCEL: return {{"_Retry", IDRETRY}, {"_Cancel", IDCANCEL}};
    default: return {{"_OK", IDOK}};
    }
}

GtkMessageType MessageTypeOf(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONHAND: return GTK_MESSAGE_ERROR;
    case MB_ICONQUESTION: return GTK_MESSAGE_QUESTION;
    case MB_ICONEXCLAMATION: return GTK_MESSAGE_WARNING;
    case MB_ICONASTERISK: return GTK_MESSAGE_INFO;
    default: return GTK_MESSAGE_OTHER;
    }
}

// Closing the box answers Cancel where it has one, else its first button.
int ClosedAnswer(const std::vector<Button>& buttons) {
    for (const Button& button : buttons)
        if (button.id == IDCANCEL) return IDCANCEL;
    return buttons.front().id;
}

}  // namespace

int GtkBackend::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    const std::string message = Utf8FromWindowsText(text);
    GtkWidget* dialog = gtk_message_dialog_new(ParentWindowOf(owner), GTK_DIALOG_MODAL, MessageTypeOf(type),
                                               GTK_BUTTONS_NONE, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), Utf8FromWindowsText(caption).c_str());
    const std::vector<Button> buttons = ButtonsOf(type);
    for (const Button& button : buttons) gtk_dialog_add_button(GTK_DIALOG(dialog), button.label, button.id);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response > 0 ? response : ClosedAnswer(buttons);
}

bool GtkBackend::ChooseFileToOpen(HWND owner, const std::string& title, std::string& path) {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(Utf8FromWindowsText(title).c_str(), ParentWindowOf(owner),
                                                     GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                     GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    // It opens in the current folder, as the Win32 dialog does without an
    // initial folder.
    if (char* folder = g_get_current_dir()) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
        g_free(folder);
    }
    bool chosen = false;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (char* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            path = name;
            g_free(name);
            chosen = true;
        }
    }
    gtk_widget_destroy(chooser);
    return chosen;
}

// The folder dialog opens in the folder chosen last this session, at first
// in the current folder.
bool GtkBackend::ChooseFolder(HWND owner, const std::string& title, std::string& path) {
    GtkWidget* chooser = gtk_file_chooser_dialog_new(Utf8FromWindowsText(title).c_str(), ParentWindowOf(owner),
                                                     GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                                     GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
    if (!lastFolder_.empty()) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), lastFolder_.c_str());
    } else if (char* folder = g_get_current_dir()) {
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
        g_free(folder);
    }
    bool chosen = false;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (char* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            path = name;
            lastFolder_ = name;
            g_free(name);
            chosen = true;
        }
    }
    gtk_widget_destroy(chooser);
    return chosen;
}

// Windows-1252: ASCII and Latin-1 as they are, the 0x80-0x9F block by its
// table, undefined bytes as U+FFFD.
std::string Utf8FromWindowsText(const std::string& text) {
    static constexpr char32_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    for (unsigned char byte : text) {
        const char32_t c = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        char buffer[6];
        const int length = g_unichar_to_utf8(static_cast<gunichar>(c), buffer);
        out.append(buffer, static_cast<std::size_t>(length));
    }
    return out;
}

}  // namespace quillmark::win32
