// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page stream: the page now shown, opened afresh from its address and
// read byte by byte (with a one-byte step back) or line by line.
//
// A local page (a path, or a file: address whose fragment is set aside and
// whose %XX escapes are decoded on the way to the path) is read from the file
// in pieces, as text: CR LF arrives as LF. An http or https page is fetched
// whole into memory before openPageStream returns, blocking the calling thread until
// the server has answered or the time limit has passed; its bytes arrive as
// sent. Any other address, a server that cannot be reached, and one that does
// not answer in time are "internet errors", which callers end on quietly. A
// remote page that answered but could not be had whole (larger than
// kMaxPageBytes, cut off, not finished in time) is unreadable, as a local
// page that cannot be opened: no part of it is used.

#include "html/byte_stream.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <vector>

namespace platform {

class PageStream;

enum class PageOpenStatus {
    Opened,
    InternetError,  // end quietly
    Unreadable,     // the page could not be read whole: show `message`
};

struct PageOpenResult {
    PageOpenStatus status = PageOpenStatus::InternetError;
    std::unique_ptr<PageStream> stream;  // set when Opened
    QString message;                     // set for Unreadable
};

constexpr int kPageTimeoutMs = 30000;
// Far above any script page; a remote body past it is refused.
constexpr qsizetype kMaxPageBytes = qsizetype(64) << 20;

// Opens the page at `url` (a location as the web view reports it).
// timeoutMs bounds the whole fetch of a remote page.
PageOpenResult openPageStream(const QString& url, int timeoutMs = kPageTimeoutMs);

class PageStream final : public ByteStream {
public:
    explicit PageStream(QByteArray data);  // a fetched page
    PageStream(const QString& path, std::unique_ptr<QFile> file);  // an open local file

    // True when reading the local file failed after it was opened; the
    // stream then ended early and errorMessage() says why.
    bool failed() const { return !m_error.isEmpty(); }
    QString errorMessage() const { return m_error; }

protected:
    bool refill() override;

private:
    QByteArray m_data;              // a fetched page, all of it
    QString m_path;                 // a local page: its path,
    std::unique_ptr<QFile> m_file;  // its file,
    std::vector<char> m_buf;        // and the bytes read from it (last byte read in front)
    qsizetype m_held = 0;           // bytes of m_buf in the window now handed out
    bool m_pendingCr = false;       // a CR at the end of a piece waits for what follows
    QString m_error;
};

}  // namespace platform
