// SPDX-License-Identifier: GPL-3.0-or-later
// Any page address, link and file name through the link-to-file comparison:
// no crash or out-of-bounds access, a reused matcher answers as a fresh one,
// and a plain link beside the page matches the file it names.
#include "view/audio_item.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

bool IsPlain(const QByteArray& href) {
    return !href.contains('%') && !href.startsWith("../") && !href.startsWith("..\\") &&
           !href.startsWith('/') && !href.startsWith('\\') && !(href.size() >= 2 && href[1] == ':');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QByteArray page = Bytes(input.ConsumeRandomLengthString(300));
    const QByteArray file = Bytes(input.ConsumeRandomLengthString(300));
    const QByteArray href1 = Bytes(input.ConsumeRandomLengthString(300));
    const QByteArray href2 = Bytes(input.ConsumeRemainingBytesAsString());

    CLinkMatcher matcher(page, file);
    const bool first = matcher.Matches(href1.constData(), href1.size());
    const bool second = matcher.Matches(href2.constData(), href2.size());
    Check(first == LinkMatchesFile(page, href1, file));
    Check(second == LinkMatchesFile(page, href2, file));

    if (IsPlain(href1)) Check(LinkMatchesFile("file:///srv/d/p.htm#x", href1, "/srv/d/" + href1));
    return 0;
}
