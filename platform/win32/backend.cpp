// Backend selection and the headless backend.
#include "platform/win32/backend.h"
#include "platform/win32/backend_impl.h"
#include "platform/win32/headless_dialogs.h"
#include "platform/win32/message_queue.h"
#include "platform/win32/window_model.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>

namespace quillmark::win32 {
namespace {

struct HeadlessState {
    std::vector<MessageBoxRecord> messageBoxes;
    std::deque<std::string> openFileAnswers;
    std::deque<std::string> folderAnswers;
};

HeadlessState& Headless() {
    static HeadlessState state;
    return state;
}

// A message box as one line on stderr, in the form of the program's other
// messages: "caption: text", the caption (the program's name) and the
// sentence's first word in lower case, without the closing full stop.
std::string MessageBoxLine(const std::string& caption, const std::string& text) {
    std::string line;
    for (const char c : caption) line += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string sentence = text;
    if (sentence.size() > 1 && std::isupper(static_cast<unsigned char>(sentence[0])) &&
        std::islower(static_cast<unsigned char>(sentence[1])))
        sentence[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(sentence[0])));
    if (!sentence.empty() && sentence.back() == '.') sentence.pop_back();
    return line.empty() ? sentence : line + ": " + sentence;
}

// No display: windows exist only in the model, the user is played by
// user_input.h, and waiting returns at once because no input can arrive
// except messages other threads post (which the caller picks up next).
class HeadlessBackend : public BackendImpl {
public:
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                       UINT type) override {
        Headless().messageBoxes.push_back({owner, caption, text, type});
        std::fprintf(stderr, "%s\n", MessageBoxLine(caption, text).c_str());
        return FirstButtonOf(type);
    }
    bool ChooseFileToOpen(HWND, const std::string&, std::string& path) override {
        auto& answers = Headless().openFileAnswers;
        if (answers.empty()) return false;
        path = answers.front();
        answers.pop_front();
        return true;
    }
    bool ChooseFolder(HWND, const std::string&, std::string& path) override {
        auto& answers = Headless().folderAnswers;
        if (answers.empty()) return false;
        path = answers.front();
        answers.pop_front();
        return true;
    }
    void WaitForInput() override {}
    void BlockForInput() override { WaitForPostedInput(); }
    SIZE ScreenSize() const override { return SIZE{1920, 1080}; }
    SIZE FontCharSize(const std::string&, int) const override { return SIZE{6, 13}; }
};

struct Selection {
    std::unique_ptr<BackendImpl> backend = std::make_unique<HeadlessBackend>();
    Backend kind = Backend::Headless;
};

Selection& Selected() {
    static Selection selection;
    return selection;
}

}  // namespace

int FirstButtonOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
    }
}

BackendImpl& ActiveBackend() { return *Selected().backend; }

void NotifyBackend(HWND window, WindowChange change) {
    ActiveBackend().WindowChanged(window, change);
}

bool DisplayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) return false;
    static const bool opened = [] {
        std::unique_ptr<BackendImpl> probe(CreateGtkBackend());
        return probe != nullptr;
    }();
    return opened;
}

bool SelectBackend(Backend backend) {
    Selection& selection = Selected();
    if (backend == selection.kind) return true;
    if (!AllWindows().empty()) return false;
    if (backend == Backend::Headless) {
        selection.backend = std::make_unique<HeadlessBackend>();
    } else {
        if (!DisplayAvailable()) return false;
        BackendImpl* gtk = CreateGtkBackend();
        if (!gtk) return false;
        selection.backend.reset(gtk);
    }
    selection.kind = backend;
    return true;
}

Backend CurrentBackend() { return Selected().kind; }

void SetProgramIcon(const std::string& image) { ActiveBackend().SetProgramIcon(image); }

bool DesktopBackendBuilt() {
#ifdef QUILLMARK_HAVE_GTK
    return true;
#else
    return false;
#endif
}

const std::vector<MessageBoxRecord>& MessageBoxesShown() { return Headless().messageBoxes; }

void ClearMessageBoxes() { Headless().messageBoxes.clear(); }

void QueueOpenFileAnswer(const std::string& path) { Headless().openFileAnswers.push_back(path); }

void ClearOpenFileAnswers() { Headless().openFileAnswers.clear(); }

void QueueFolderAnswer(const std::string& path) { Headless().folderAnswers.push_back(path); }

}  // namespace quillmark::win32
