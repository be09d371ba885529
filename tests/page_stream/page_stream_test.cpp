// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the page now shown from its address: local files, file: addresses,
// remote pages from a server on this machine, and the ways each one fails.
#include "html/html_tokenizer.h"
#include "platform/page_stream.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <sys/resource.h>

#include <functional>
#include <future>
#include <memory>
#include <vector>

using platform::OpenPageStream;
using platform::PageOpenStatus;

namespace {

QByteArray ReadAll(CByteStream& stream) {
    QByteArray out;
    char c;
    while (stream.Read(&c)) out.append(c);
    return out;
}

std::vector<QByteArray> Lines(CByteStream& stream) {
    std::vector<QByteArray> lines;
    QByteArray line;
    while (stream.ReadLine(line)) lines.push_back(line);
    return lines;
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

// An http server on its own thread (the test thread blocks while a page is
// fetched). Once a request is complete it hands the socket to `answer`.
using Answer = std::function<void(QTcpSocket*)>;

class LocalServer {
public:
    explicit LocalServer(Answer answer) {
        std::promise<quint16> port;
        m_thread.reset(QThread::create([this, answer, &port] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost);
            QObject::connect(&server, &QTcpServer::newConnection, [&] {
                QTcpSocket* socket = server.nextPendingConnection();
                QObject::connect(socket, &QTcpSocket::readyRead, [socket, answer] {
                    if (socket->readAll().contains("\r\n\r\n")) answer(socket);
                });
            });
            QEventLoop loop;
            m_loop = &loop;
            port.set_value(server.serverPort());
            loop.exec();
        }));
        m_thread->start();
        m_port = port.get_future().get();
    }
    // Sends `response` and closes.
    explicit LocalServer(QByteArray response)
        : LocalServer([response](QTcpSocket* socket) {
              socket->write(response);
              socket->disconnectFromHost();
          }) {}
    ~LocalServer() {
        QMetaObject::invokeMethod(m_loop, "quit", Qt::QueuedConnection);
        m_thread->wait();
    }
    QString Url(const char* path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

private:
    std::unique_ptr<QThread> m_thread;
    QEventLoop* m_loop = nullptr;
    quint16 m_port = 0;
};

// A body without end: 64 KB pieces as fast as they are taken, up to 1 GB
// (which bounds the server should the client never stop).
void Endless(QTcpSocket* socket) {
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n");
    auto sent = std::make_shared<qint64>(0);
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, sent](qint64 n) {
        *sent += n;
        if (*sent < (qint64(1) << 30) && socket->bytesToWrite() < 256 * 1024)
            socket->write(QByteArray(64 * 1024, 'x'));
    });
    socket->write(QByteArray(64 * 1024, 'x'));
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(PageStream, LocalPathReadsAsText) {
    QTemporaryDir dir;
    const QString path = Write(dir, "p.htm", "<p>one\r\ntwo\r\n\rthree\n");
    auto opened = OpenPageStream(path);
    ASSERT_EQ(opened.status, PageOpenStatus::Opened);
    EXPECT_EQ(ReadAll(*opened.stream), QByteArray("<p>one\ntwo\n\rthree\n"));
    EXPECT_FALSE(opened.stream->Failed());

    auto again = OpenPageStream(path);
    ASSERT_EQ(again.status, PageOpenStatus::Opened);
    EXPECT_EQ(Lines(*again.stream), (std::vector<QByteArray>{"<p>one", "two", "\rthree"}));
}

TEST(PageStream, FileAddressWithEscapesAndFragment) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("my scripts"));
    const QString path = Write(dir, "my scripts/p#1.htm", "<a name=x>");
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + "#item/3";
    ASSERT_TRUE(url.contains("my%20scripts/p%231.htm#item/3")) << url.toStdString();
    auto opened = OpenPageStream(url);
    ASSERT_EQ(opened.status, PageOpenStatus::Opened) << opened.message.toStdString();
    EXPECT_EQ(ReadAll(*opened.stream), QByteArray("<a name=x>"));
}

TEST(PageStream, MissingOrUnreadableLocalPageIsUnreadable) {
    QTemporaryDir dir;
    for (const QString& url : {dir.filePath("gone.htm"), QUrl::fromLocalFile(dir.filePath("gone.htm")).toString(),
                               dir.path()}) {
        auto opened = OpenPageStream(url);
        if (opened.status == PageOpenStatus::Opened) {
            // A folder may open; reading it then fails and says so.
            ReadAll(*opened.stream);
            EXPECT_TRUE(opened.stream->Failed()) << url.toStdString();
            EXPECT_TRUE(opened.stream->ErrorMessage().contains(dir.path()));
            continue;
        }
        EXPECT_EQ(opened.status, PageOpenStatus::Unreadable) << url.toStdString();
        EXPECT_EQ(opened.stream, nullptr);
        EXPECT_TRUE(opened.message.contains(dir.path())) << opened.message.toStdString();
    }
}

TEST(PageStream, LargeLocalPageReadsInPiecesLikeOneBlock) {
    // CR LF pairs, lone CRs and tags across every 64 KB boundary.
    QByteArray page;
    for (int i = 0; page.size() < 300 * 1024; ++i)
        page += "<a href='t.wav#" + QByteArray::number(i) + "' name=n" + QByteArray::number(i) + ">x\r\n" +
                (i % 7 ? "" : "\r") + "y";
    QByteArray text = page;
    text.replace("\r\n", "\n");
    QTemporaryDir dir;
    for (int shift = 0; shift < 3; ++shift) {
        const QByteArray shifted = QByteArray(shift, ' ') + page;
        auto opened = OpenPageStream(Write(dir, "big.htm", shifted));
        ASSERT_EQ(opened.status, PageOpenStatus::Opened);
        CMemoryByteStream expected(QByteArray(shift, ' ') + text);
        CHtmlTokenizer fromFile(opened.stream.get()), fromMemory(&expected);
        int tokens = 0;
        for (;; ++tokens) {
            CHtmlToken* a = fromFile.NextToken();
            CHtmlToken* b = fromMemory.NextToken();
            ASSERT_EQ(a == nullptr, b == nullptr) << tokens;
            if (!a) break;
            ASSERT_EQ(a->m_strText, b->m_strText) << tokens;
            ASSERT_EQ(a->m_nAttr, b->m_nAttr) << tokens;
        }
        EXPECT_GT(tokens, 10000);
    }
}

TEST(PageStream, LineEndsAcrossPieceBoundaries) {
    QTemporaryDir dir;
    constexpr int kPiece = 64 * 1024;
    for (int at = kPiece - 3; at <= kPiece + 2; ++at) {
        for (const QByteArray& tail : {QByteArray("\r\n<b>"), QByteArray("\r<b>"), QByteArray("\r\r\n"),
                                       QByteArray("\r")}) {
            const QByteArray page = QByteArray(at, 'a') + tail + "z";
            QByteArray text = page;
            text.replace("\r\n", "\n");
            auto opened = OpenPageStream(Write(dir, "edge.htm", page));
            ASSERT_EQ(opened.status, PageOpenStatus::Opened);
            ASSERT_EQ(ReadAll(*opened.stream), text) << at;
        }
    }
}

TEST(PageStream, RemotePageIsFetchedWhole) {
    LocalServer server("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<b>one\r\ntwo</b>");
    auto opened = OpenPageStream(server.Url("/p.htm#frag"));
    ASSERT_EQ(opened.status, PageOpenStatus::Opened);
    EXPECT_EQ(ReadAll(*opened.stream), QByteArray("<b>one\r\ntwo</b>")) << "remote bytes arrive as sent";
    EXPECT_TRUE(opened.stream->Seek(-1));
}

TEST(PageStream, RemoteErrorPageIsStillAPage) {
    LocalServer server("HTTP/1.0 404 Not Found\r\n\r\n<p>missing");
    auto opened = OpenPageStream(server.Url("/nothing.htm"));
    ASSERT_EQ(opened.status, PageOpenStatus::Opened);
    EXPECT_EQ(Lines(*opened.stream), std::vector<QByteArray>{"<p>missing"});
}

TEST(PageStream, UnreachableOrSilentServerIsAnInternetError) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    auto refused = OpenPageStream(QStringLiteral("http://127.0.0.1:%1/p.htm").arg(port));
    EXPECT_EQ(refused.status, PageOpenStatus::InternetError);
    EXPECT_EQ(refused.stream, nullptr);
    EXPECT_TRUE(refused.message.isEmpty());

    LocalServer silent([](QTcpSocket*) {});
    QElapsedTimer timer;
    timer.start();
    auto late = OpenPageStream(silent.Url("/p.htm"), 300);
    EXPECT_EQ(late.status, PageOpenStatus::InternetError);
    EXPECT_GE(timer.elapsed(), 250);
    EXPECT_LT(timer.elapsed(), 10000);
}

// A body past the size limit or cut short is never taken for the page: the
// page is unreadable, with a message naming it, and memory stays bounded.
TEST(PageStream, EndlessOrCutRemotePageIsUnreadable) {
    LocalServer endless(Endless);
    LocalServer cut([](QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(1000, 'x'));
        socket->disconnectFromHost();
    });
    const long rssBefore = PeakRssKb();
    for (const LocalServer* server : {&endless, &cut}) {
        QElapsedTimer timer;
        timer.start();
        auto opened = OpenPageStream(server->Url("/p.htm#frag"), 20000);
        EXPECT_LT(timer.elapsed(), 20000);
        EXPECT_EQ(opened.status, PageOpenStatus::Unreadable);
        EXPECT_EQ(opened.stream, nullptr);
        EXPECT_TRUE(opened.message.startsWith(QStringLiteral("Could not read the page '%1'").arg(server->Url("/p.htm"))))
            << opened.message.toStdString();
    }
    // The endless server would send 1 GB; the fetch stops near the limit (the
    // body's growth may hold two copies for a moment).
    EXPECT_LT(PeakRssKb() - rssBefore, 5 * (platform::kMaxPageBytes >> 10));
}

TEST(PageStream, OtherAddressesAreInternetErrors) {
    for (const char* url : {"about:blank", "res:/home.htm", "ftp://127.0.0.1/p.htm", "data:text/html,<b>", ""})
        EXPECT_EQ(OpenPageStream(QString::fromLatin1(url)).status, PageOpenStatus::InternetError) << url;
}

}  // namespace
