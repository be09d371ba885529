// SPDX-License-Identifier: GPL-3.0-or-later
#include "script/time_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

QString timeText(double seconds) {
    // Clamped so the conversions below stay defined and every part shows as digits.
    const double pos = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, double(INT_MAX));
    const int secs = int(pos);
    const int tenths = int((pos - secs) * 10.0);
    return QString::asprintf("%2d:%02d.%1d", secs / 60, secs % 60, tenths);
}

QString markText(const QString& fileName, double seconds) {
    char number[400];  // %.1f of the largest double fits
    const std::to_chars_result r =
        std::to_chars(number, number + sizeof number, seconds, std::chars_format::fixed, 1);
    return fileName + u'#' + QLatin1String(number, r.ptr - number) + QLatin1String("\r\n");
}
