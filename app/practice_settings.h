// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The practice switches kept in the settings: the speed, Repeat, Pause After
// Each Item and Follow Page (group "Practice").

class PlaybackSession;
class ScriptView;

// Applies what the settings hold; a speed out of the player's range is ignored.
void restorePractice(PlaybackSession& playback, ScriptView& view);
// Writes every later change to the settings.
void keepPractice(PlaybackSession& playback, ScriptView& view);
