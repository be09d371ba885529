// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Command routing. A command target holds a table of entries, one per
// command ID: the handler that runs the command and the update handler that
// recomputes its enabling, check mark or pane text at idle time. The main
// frame offers every command and every update to its targets in turn (view,
// frame, application); the first target with a usable entry takes it, and an
// item that no target takes is disabled.
//
// Entry rules (those of the framework's command UI):
//   command set, update null  - always enabled
//   update set                - the update handler decides; if it does not
//                               call Enable, the item is enabled exactly when
//                               the command handler is set
//   both null                 - not built yet: disabled

#include "view/cmd_ui.h"

#include <span>

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Runs command `id` (pCmdUI null) or its update rule (pCmdUI set).
    // Returns false when this target has no usable entry for `id`.
    virtual bool OnCmdMsg(int id, CCmdUI* pCmdUI) = 0;
};

template <class T>
struct CommandEntry {
    int id;
    void (T::*command)();
    void (T::*update)(CCmdUI*);
};

template <class T>
bool RouteCmdMsg(T& target, std::span<const CommandEntry<T>> table, int id, CCmdUI* pCmdUI) {
    for (const CommandEntry<T>& e : table) {
        if (e.id != id) continue;
        if (!pCmdUI) {
            if (!e.command) return false;
            (target.*e.command)();
            return true;
        }
        if (!e.update) {
            if (!e.command) return false;
            pCmdUI->Enable(true);
            return true;
        }
        pCmdUI->m_bEnableChanged = false;
        (target.*e.update)(pCmdUI);
        if (!pCmdUI->m_bEnableChanged) pCmdUI->Enable(e.command != nullptr);
        return true;
    }
    return false;
}
