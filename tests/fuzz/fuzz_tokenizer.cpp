// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes through the token reader, the listings and the item scan: no
// crash, no read or write out of bounds, and the token's promises hold.
#include "html/byte_stream.h"
#include "html/html_tokenizer.h"
#include "script/audio_item.h"
#include "script/page_listing.h"

#include <algorithm>
#include <cstdlib>

static void check(bool ok) { if (!ok) std::abort(); }
static bool upper(const QByteArray& s) { return std::none_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; }); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    MemoryByteStream stream(page), parsed(page), source(page), scanned(page);
    HtmlTokenizer tokenizer(&stream);
    qsizetype bytes = 0;
    while (const HtmlToken* t = tokenizer.nextToken()) {
        const QByteArray& text = t->text();
        const int attributes = t->attributeCount();
        check(attributes % 2 == 0 && attributes >= 0 && attributes <= HtmlToken::kMaxAttr);
        check(t->kind() == HtmlToken::Kind::Text
                  ? !text.isEmpty() && !text.contains('<') && attributes == 0
                  : t->kind() == HtmlToken::Kind::Tag && !text.contains('>') && upper(text));
        for (int i = 0; i < attributes; i += 2) check(upper(t->attribute(i)));
        bytes += text.size();
    }
    check(bytes <= page.size() + 9);  // "!Skipped!" may stand for fewer bytes
    parsedListing(parsed);
    sourceListing(source);
    static AudioItem items[64];
    const int n = scanItemsFromStream(scanned, "file:///home/u/p.htm", "/home/u/talk.wav", items, 64);
    check(n >= 0 && n <= 64);
    for (int i = 0; i < n; ++i) check(!items[i].name.isEmpty() && (i == 0 || compareItems(&items[i - 1], &items[i]) <= 0));
    return 0;
}
