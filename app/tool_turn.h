// One desktop tool at a time. A tool of the desktop window (the pixel
// inspector, A / B, the explanation panel) draws its frames inside its
// handler, where the loop dispatches the input that arrives meanwhile; a
// request for any tool made then is dropped, so that no tool changes the
// device, the settings or the texture under another.
#pragma once

namespace quillmark {

class ToolTurn {
public:
    ToolTurn() : taken_(!Busy()) { Busy() = Busy() || taken_; }
    ~ToolTurn() {
        if (taken_) Busy() = false;
    }
    ToolTurn(const ToolTurn&) = delete;
    ToolTurn& operator=(const ToolTurn&) = delete;

    // False when another tool is at work: the request is to be dropped.
    bool Taken() const { return taken_; }

private:
    static bool& Busy() {
        static bool busy = false;
        return busy;
    }
    bool taken_;
};

}  // namespace quillmark
