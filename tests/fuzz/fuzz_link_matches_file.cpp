// SPDX-License-Identifier: GPL-3.0-or-later
// Any page address, link and file name through the link-to-file comparison:
// no crash or out-of-bounds access, a reused matcher answers as a fresh one,
// and a plain link beside the page matches the file it names.
#include "script/audio_item.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    auto bytes = [](const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); };
    const QByteArray page = bytes(input.ConsumeRandomLengthString(300)), file = bytes(input.ConsumeRandomLengthString(300));
    const QByteArray href1 = bytes(input.ConsumeRandomLengthString(300)), href2 = bytes(input.ConsumeRemainingBytesAsString());

    LinkMatcher matcher(page, file);
    const bool first = matcher.matches(href1.constData(), href1.size());
    const bool second = matcher.matches(href2.constData(), href2.size());
    if (first != linkMatchesFile(page, href1, file) || second != linkMatchesFile(page, href2, file)) std::abort();

    const bool plain = !href1.contains('%') && !href1.startsWith("..") && !href1.startsWith('/') && !href1.startsWith('\\') &&
                       !(href1.size() >= 2 && href1[1] == ':');
    if (plain && !linkMatchesFile("file:///srv/d/p.htm#x", href1, "/srv/d/" + href1)) std::abort();
    return 0;
}
