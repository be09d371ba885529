// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The string table: command prompts (status-bar text, then '\n', then the
// tooltip), pane sizing texts and the program's fixed strings.

#include <QString>

QString LoadString(int id);        // empty when there is no such string
QString PromptString(int id);      // the status-bar text: before the first '\n'
QString TooltipString(int id);     // the tooltip: after the first '\n'
QString DocString(int index);      // field `index` of string 128: 0 title, 3 filter name, 4 extension
