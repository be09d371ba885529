// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts the view shows for a playback position.

#include <QString>

// The time pane: minutes right-aligned in two places, seconds, tenths
// ("%2d:%02d.%1d"), each part truncated toward zero.
QString TimeText(double seconds);

// One mark: the file name, '#', the seconds with one decimal, CR LF
// ("%s#%.1f\r\n"), with a '.' as decimal point whatever the locale.
QString MarkText(const QString& fileName, double seconds);
