// SPDX-License-Identifier: GPL-3.0-or-later
// The entry rules of the command tables: which handler runs, and what state
// an item gets when the update handler decides or leaves it to the entry.
#include "view/command_map.h"

#include <gtest/gtest.h>

namespace {

// Records what an update did to its item.
class RecordingCmdUI : public CCmdUI {
public:
    using CCmdUI::CCmdUI;
    void Enable(bool on) override {
        m_bEnableChanged = true;
        enabled = on;
    }
    void SetCheck(int c) override { check = c; }
    void SetText(const QString& t) override { text = t; }
    int enabled = -1;  // -1: never set
    int check = -1;
    QString text;
};

struct Target {
    void Run() { ++runs; }
    void LeaveEnabling(CCmdUI* ui) { ui->SetCheck(1); }
    void Disable(CCmdUI* ui) { ui->Enable(false); }
    void Pane(CCmdUI* ui) {
        ui->Enable(true);
        ui->SetText(QStringLiteral("text"));
    }
    int runs = 0;
};

enum { kPlain = 1, kLeaves, kDisables, kUnbuilt, kPane, kUpdateOnly, kAbsent };

constexpr CommandEntry<Target> kTable[] = {
    {kPlain, &Target::Run, nullptr},
    {kLeaves, &Target::Run, &Target::LeaveEnabling},
    {kDisables, &Target::Run, &Target::Disable},
    {kUnbuilt, nullptr, nullptr},
    {kPane, nullptr, &Target::Pane},
    {kUpdateOnly, nullptr, &Target::LeaveEnabling},
};

struct UpdateCase {
    int id;
    bool taken;   // the target takes the update
    int enabled;  // resulting enabling (-1: untouched)
    int check;
};

TEST(CommandRouting, UpdateRulesOfTheEntries) {
    const UpdateCase cases[] = {
        {kPlain, true, 1, -1},       // a command handler alone: enabled
        {kLeaves, true, 1, 1},       // the update does not decide: enabled, as it has a command
        {kDisables, true, 0, -1},    // the update decides
        {kUnbuilt, false, -1, -1},   // not built: left to the next target (disabled in the end)
        {kPane, true, 1, -1},        // a pane: enabled by its update
        {kUpdateOnly, true, 0, 1},   // an update that does not decide, no command: disabled
        {kAbsent, false, -1, -1},
    };
    Target target;
    for (const UpdateCase& c : cases) {
        RecordingCmdUI ui(c.id);
        EXPECT_EQ(RouteCmdMsg<Target>(target, kTable, c.id, &ui), c.taken) << c.id;
        EXPECT_EQ(ui.enabled, c.enabled) << c.id;
        EXPECT_EQ(ui.check, c.check) << c.id;
    }
    EXPECT_EQ(target.runs, 0);  // updates run no command
}

TEST(CommandRouting, CommandsRunOnlyWhereAHandlerIsSet) {
    Target target;
    EXPECT_TRUE(RouteCmdMsg<Target>(target, kTable, kPlain, nullptr));
    EXPECT_TRUE(RouteCmdMsg<Target>(target, kTable, kDisables, nullptr));
    EXPECT_FALSE(RouteCmdMsg<Target>(target, kTable, kUnbuilt, nullptr));
    EXPECT_FALSE(RouteCmdMsg<Target>(target, kTable, kPane, nullptr));
    EXPECT_FALSE(RouteCmdMsg<Target>(target, kTable, kAbsent, nullptr));
    EXPECT_EQ(target.runs, 2);
}

}  // namespace
