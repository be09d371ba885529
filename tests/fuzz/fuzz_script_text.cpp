// SPDX-License-Identifier: GPL-3.0-or-later
// Make Script's text loader on any file: no crash; Ok exactly when there are
// items, each item one non-empty line with its white space simplified, the
// paragraphs counted from 0 in steps of at most one.
#include "align/script_text.h"

#include <QTemporaryFile>
#include <algorithm>
#include <cstdlib>
#include <unistd.h>

static void check(bool ok) { if (!ok) std::abort(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryFile* file = [] {  // one file, rewritten in place each run
        auto* f = new QTemporaryFile;
        check(f->open());
        return f;
    }();
    static const QString path = file->fileName();
    check(pwrite(file->handle(), data, size, 0) == ssize_t(size) && ftruncate(file->handle(), off_t(size)) == 0);
    ScriptText text;
    const ScriptText::Result result = text.load(path);
    check(result != ScriptText::Result::CannotOpen && (result == ScriptText::Result::Ok) == !text.items().isEmpty());
    check(text.items().size() <= qsizetype(std::count(data, data + size, '\n')) + 1);
    for (int i = 0; i < text.items().size(); ++i) {
        const QString& item = text.items()[i];
        check(!item.isEmpty() && item == item.simplified() && !item.contains(QLatin1Char('\n')));
        const int step = text.paragraphOf(i) - (i == 0 ? 0 : text.paragraphOf(i - 1));
        check(step == 0 || (step == 1 && i > 0));
    }
    check(!ScriptText::message(result, path).isEmpty() || result == ScriptText::Result::Ok);
    return 0;
}
