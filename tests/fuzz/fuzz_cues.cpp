// SPDX-License-Identifier: GPL-3.0-or-later
// Timed text in every form and script pages' items on any bytes: no crash,
// and either cues (none ending before it starts) or an error with nothing read.
#include "formats/cue_reader.h"
#include "formats/script_items.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (CueFormat format : {CueFormat::WebVtt, CueFormat::Srt, CueFormat::Labels, CueFormat::SyncMap}) {
        const CueReading r = readCues(bytes, format);
        if (r.ok() == r.cues.empty() || r.line < 0) std::abort();
        for (const Cue& cue : r.cues)
            if (!(cue.start >= 0 && cue.end >= cue.start) || cue.text.contains(QLatin1Char('\n'))) std::abort();
    }
    const ScriptReading page = readScriptItems(bytes, QStringLiteral("/scripts/page.htm"));
    if (page.ok() == page.items.empty()) std::abort();
    for (const ScriptItem& item : page.items)
        if (!(item.start >= 0) || (item.end < item.start && std::isfinite(item.end))) std::abort();
    return 0;
}
