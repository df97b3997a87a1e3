#include "app/window_tools.h"

#include "app/ab_flip.h"
#include "app/app_state.h"
#include "app/explain_panel.h"

namespace quillmark {

void AddWindowToolMenus() {
    AddAbMenu();
    AddExplainMenu();
}

void EnableWindowTools(bool enabled) {
    const HMENU bar = g_app.mainWindow ? GetMenu(g_app.mainWindow) : nullptr;
    for (const UINT id : {kFlipCommand, kDifferenceCommand, kExplainCommand})
        EnableMenuItem(bar, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool OnWindowToolCommand(UINT id) { return OnAbCommand(id) || OnExplainCommand(id); }

bool OnWindowToolKey(WPARAM key) { return OnAbKey(key) || OnExplainKey(key); }

}  // namespace quillmark
