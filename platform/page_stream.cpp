// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/page_stream.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace platform {

namespace {

constexpr qsizetype kPiece = 64 * 1024;

struct Fetched {
    bool answered = false;  // the server sent a response (any status)
    QString error;          // why the body cannot be trusted, when it cannot
    QByteArray body;
};

// A transport or protocol failure after the response began: the body is cut
// short. HTTP statuses (a 404 page) still bring a whole page.
bool bodyIsCut(QNetworkReply::NetworkError error) {
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           (error >= QNetworkReply::ProtocolUnknownError && error <= QNetworkReply::ProtocolFailure);
}

// Fetches `url` on a thread of its own with its own event loop, while the
// calling thread waits: nothing of the caller's runs until it is done. The
// body is taken as it arrives; one that would pass kMaxPageBytes ends the
// fetch at once.
Fetched fetch(const QUrl& url, int timeoutMs) {
    Fetched result;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(url));
        // Without a bound the network thread buffers whatever arrives, far past the limit.
        reply->setReadBufferSize(qint64(1) << 20);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            if (result.body.size() + reply->bytesAvailable() > kMaxPageBytes) {
                result.error = QCoreApplication::translate("platform::PageStream", "the page is larger than %1 MB").arg(kMaxPageBytes >> 20);
                result.body.clear();
                reply->abort();  // finished follows
                return;
            }
            result.body += reply->readAll();
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        result.answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (!reply->isFinished()) {  // too late: the manager aborts it
            if (result.answered) result.error = QCoreApplication::translate("platform::PageStream", "the server did not send the whole page in time");
            return;
        }
        if (result.error.isEmpty() && bodyIsCut(reply->error())) result.error = reply->errorString();
        if (result.error.isEmpty()) result.body += reply->readAll();
    }));
    thread->start();
    thread->wait();
    return result;
}

PageOpenResult openLocal(const QString& path) {
    PageOpenResult result;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        result.status = PageOpenStatus::Unreadable;
        result.message = QCoreApplication::translate("platform::PageStream", "Could not open the page '%1'\n(%2)").arg(path, file->errorString());
        return result;
    }
    result.status = PageOpenStatus::Opened;
    result.stream = std::make_unique<PageStream>(path, std::move(file));
    return result;
}

PageOpenResult openRemote(const QUrl& url, int timeoutMs) {
    PageOpenResult result;
    Fetched fetched = fetch(url, timeoutMs);
    if (!fetched.answered) return result;  // an internet error
    if (!fetched.error.isEmpty()) {
        result.status = PageOpenStatus::Unreadable;
        result.message = QCoreApplication::translate("platform::PageStream", "Could not read the page '%1'\n(%2)")
                             .arg(url.toString(QUrl::RemoveFragment), fetched.error);
        return result;
    }
    result.status = PageOpenStatus::Opened;
    result.stream = std::make_unique<PageStream>(std::move(fetched.body));
    return result;
}

}  // namespace

PageOpenResult openPageStream(const QString& url, int timeoutMs) {
    if (url.startsWith(u'/')) return openLocal(url);
    const QUrl address(url);
    const QString scheme = address.scheme();
    if (scheme == QLatin1String("file")) return openLocal(address.toLocalFile());
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return openRemote(address, timeoutMs);
    return {};  // no way to read such an address: an internet error
}

PageStream::PageStream(QByteArray data) : m_data(std::move(data)) {
    const char* p = m_data.constData();
    setWindow(p, p, p + m_data.size());
}

PageStream::PageStream(const QString& path, std::unique_ptr<QFile> file)
    : m_path(path), m_file(std::move(file)), m_buf(1 + 1 + kPiece) {}

bool PageStream::refill() {
    if (!m_file) return false;
    // m_buf: [last byte read][a CR held back][the piece read now]
    const qsizetype keep = m_held > 0 ? 1 : 0;
    if (keep) m_buf[0] = m_buf[m_held - 1];
    char* const out = m_buf.data() + keep;
    for (;;) {
        const qsizetype held = m_pendingCr ? 1 : 0;
        if (held) out[0] = '\r';
        qint64 n = m_file->read(out + held, kPiece);
        if (n < 0) {
            m_error = QCoreApplication::translate("platform::PageStream", "Could not read the page '%1'\n(%2)").arg(m_path, m_file->errorString());
            n = 0;
        }
        qsizetype len = held + n;
        m_pendingCr = n > 0 && out[len - 1] == '\r';
        if (m_pendingCr) --len;
        // CR LF becomes LF, as a text-mode read gives it.
        char* w = out;
        for (const char* r = out; r < out + len; ++r)
            if (!(*r == '\r' && r + 1 < out + len && r[1] == '\n')) *w++ = *r;
        len = w - out;
        if (len > 0) {
            m_held = keep + len;
            setWindow(m_buf.data(), out, out + len);
            return true;
        }
        if (n == 0) return false;
    }
}

}  // namespace platform
