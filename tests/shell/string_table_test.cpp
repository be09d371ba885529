// SPDX-License-Identifier: GPL-3.0-or-later
// Prompts and tooltips come from one string per command: status-bar text,
// '\n', tooltip; the document string holds the title and the file filter.
#include "app/string_table.h"
#include "view/command_ids.h"

#include <gtest/gtest.h>

namespace {

TEST(StringTable, PromptsTooltipsAndDocumentStrings) {
    EXPECT_EQ(PromptString(ID_AUDIO_START), QStringLiteral("Start Replay"));
    EXPECT_EQ(TooltipString(ID_AUDIO_START), QStringLiteral("Play"));
    EXPECT_EQ(PromptString(ID_FILE_NEW), QStringLiteral("Go Home"));
    EXPECT_EQ(TooltipString(ID_FILE_NEW), QStringLiteral("Home"));
    EXPECT_EQ(PromptString(ID_FILE_MRU_FILE1 + 3), QStringLiteral("Open this document"));
    EXPECT_TRUE(TooltipString(ID_FILE_MRU_FILE1).isEmpty());
    EXPECT_EQ(LoadString(ID_INDICATOR_TIME), QStringLiteral("00.00.0"));
    EXPECT_EQ(LoadString(ID_INDICATOR_RECORDING), QStringLiteral("** Recording **"));
    EXPECT_EQ(LoadString(AFX_IDS_IDLEMESSAGE), QStringLiteral("Ready"));
    EXPECT_TRUE(LoadString(12345).isEmpty());
    EXPECT_EQ(DocString(0), QStringLiteral("Parlotype"));
    EXPECT_TRUE(DocString(1).isEmpty());
    EXPECT_EQ(DocString(3), QStringLiteral("Parlotype Files (*.htm)"));
    EXPECT_EQ(DocString(4), QStringLiteral(".htm"));
}

}  // namespace
