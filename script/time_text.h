// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts shown for a playback position: the time pane and marks.

#include <QString>

// The time pane: minutes right-aligned in two places, seconds, tenths
// ("%2d:%02d.%1d"), each part truncated toward zero. A negative or NaN
// position shows as 0:00.0; one past INT_MAX seconds (infinity too) shows as
// INT_MAX seconds. The time pane and `parlotype --play` both print it.
QString timeText(double seconds);

// One mark: the file name, '#', the seconds with one decimal, CR LF
// ("%s#%.1f\r\n"), with a '.' as decimal point whatever the locale.
QString markText(const QString& fileName, double seconds);
