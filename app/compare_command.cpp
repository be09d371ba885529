// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compare_command.h"

#include "compare/script_item.h"
#include "compare/take_comparison.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "parlotype: %s\n", message.toLocal8Bit().constData());
    return 1;
}

}  // namespace

int runCompareCommand(const QStringList& args) {
    if (args.size() != 3 || args[0].startsWith(u'-') || args[1].isEmpty()) {
        std::fputs(QCoreApplication::translate("Compare", "usage: parlotype --compare SCRIPT ITEM TAKE\n").toLocal8Bit().constData(),
                   stderr);
        return 2;
    }
    const QString& script = args[0];
    std::vector<ModelItem> items;
    QString error;
    if (!readModelItems(script, items, error)) return fail(error);
    const int item = findModelItem(items, args[1]);
    if (item < 0)
        return fail(QCoreApplication::translate("Compare", "'%1' has no item '%2' (it has %3 items)")
                        .arg(script, args[1]).arg(items.size()));
    const ModelItem& it = items[size_t(item)];
    TakeComparer comparer;
    comparer.setInput({it.audio, it.start, it.end, it.text}, args[2]);
    if (comparer.run() != TakeComparer::Result::Ok) return fail(comparer.errorText());
    const std::shared_ptr<const Comparison> c = comparer.comparison();
    const QString out = c->missingLine() + u'\n' + c->paceLine() + u'\n' + c->melodyLine() + u'\n';
    std::fputs(out.toLocal8Bit().constData(), stdout);
    return 0;
}
