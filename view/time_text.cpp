// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/time_text.h"

#include <charconv>
#include <climits>
#include <cmath>

QString TimeText(double seconds) {
    // Outside int's range the conversion would be undefined: such positions show as 0.
    const bool fits = std::isfinite(seconds) && std::fabs(seconds) < double(INT_MAX);
    const int secs = fits ? int(seconds) : 0;
    const int tenths = fits ? int((seconds - secs) * 10.0) : 0;
    return QString::asprintf("%2d:%02d.%1d", secs / 60, secs % 60, tenths);
}

QString MarkText(const QString& fileName, double seconds) {
    char number[400];  // %.1f of the largest double fits
    const std::to_chars_result r =
        std::to_chars(number, number + sizeof number, seconds, std::chars_format::fixed, 1);
    return fileName + u'#' + QLatin1String(number, r.ptr - number) + QLatin1String("\r\n");
}
