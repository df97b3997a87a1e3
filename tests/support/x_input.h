// Real input for desktop tests: pointer and key events sent through the X
// server's XTest extension, as a person's mouse and keyboard would send them
// (the libraries are opened at run time, so building needs no X headers).
#pragma once

#include <dlfcn.h>

#include <chrono>
#include <string>
#include <thread>

namespace quillmark::test {

class XInput {
public:
    XInput() {
        x11_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        xtst_ = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!x11_ || !xtst_) return;
        open_ = reinterpret_cast<OpenDisplay>(dlsym(x11_, "XOpenDisplay"));
        close_ = reinterpret_cast<CloseDisplay>(dlsym(x11_, "XCloseDisplay"));
        flush_ = reinterpret_cast<Flush>(dlsym(x11_, "XFlush"));
        keysym_ = reinterpret_cast<StringToKeysym>(dlsym(x11_, "XStringToKeysym"));
        keycode_ = reinterpret_cast<KeysymToKeycode>(dlsym(x11_, "XKeysymToKeycode"));
        motion_ = reinterpret_cast<FakeMotion>(dlsym(xtst_, "XTestFakeMotionEvent"));
        button_ = reinterpret_cast<FakeButton>(dlsym(xtst_, "XTestFakeButtonEvent"));
        key_ = reinterpret_cast<FakeKey>(dlsym(xtst_, "XTestFakeKeyEvent"));
        if (open_ && close_ && flush_ && keysym_ && keycode_ && motion_ && button_ && key_) display_ = open_(nullptr);
    }
    ~XInput() {
        if (display_) close_(display_);
        if (xtst_) dlclose(xtst_);
        if (x11_) dlclose(x11_);
    }
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    // False when the display or the XTest extension cannot be reached.
    bool Ready() const { return display_ != nullptr; }

    void MoveTo(int x, int y) { Send([&] { motion_(display_, -1, x, y, 0); }); }
    void Press(unsigned button = 1) { Send([&] { button_(display_, button, 1, 0); }); }
    void Release(unsigned button = 1) { Send([&] { button_(display_, button, 0, 0); }); }
    void Click(unsigned button = 1) {
        Press(button);
        Release(button);
    }

    // A key by its X name ("Tab", "Right", "space"), with Shift (or the
    // modifier key named) held when asked.
    void Key(const std::string& name, bool shift = false, const char* modifier = nullptr) {
        const unsigned held = keycode_(display_, keysym_(modifier ? modifier : "Shift_L"));
        const bool holding = shift || modifier;
        const unsigned code = keycode_(display_, keysym_(name.c_str()));
        if (holding) Send([&] { key_(display_, held, 1, 0); });
        Send([&] { key_(display_, code, 1, 0); });
        Send([&] { key_(display_, code, 0, 0); });
        if (holding) Send([&] { key_(display_, held, 0, 0); });
    }

private:
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    using Flush = int (*)(void*);
    using StringToKeysym = unsigned long (*)(const char*);
    using KeysymToKeycode = unsigned char (*)(void*, unsigned long);
    using FakeMotion = int (*)(void*, int, int, int, unsigned long);
    using FakeButton = int (*)(void*, unsigned, int, unsigned long);
    using FakeKey = int (*)(void*, unsigned, int, unsigned long);

    template <typename Event>
    void Send(Event event) {
        event();
        flush_(display_);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }

    void* x11_ = nullptr;
    void* xtst_ = nullptr;
    void* display_ = nullptr;
    OpenDisplay open_ = nullptr;
    CloseDisplay close_ = nullptr;
    Flush flush_ = nullptr;
    StringToKeysym keysym_ = nullptr;
    KeysymToKeycode keycode_ = nullptr;
    FakeMotion motion_ = nullptr;
    FakeButton button_ = nullptr;
    FakeKey key_ = nullptr;
};

}  // namespace quillmark::test
