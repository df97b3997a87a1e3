#include "app/window_tools.h"

#include "app/ab_flip.h"
#include "app/explain_panel.h"

namespace quillmark {

void AddWindowToolMenus() {
    AddAbMenu();
    AddExplainMenu();
}

bool OnWindowToolCommand(UINT id) { return OnAbCommand(id) || OnExplainCommand(id); }

bool OnWindowToolKey(WPARAM key) { return OnAbKey(key) || OnExplainKey(key); }

}  // namespace quillmark
