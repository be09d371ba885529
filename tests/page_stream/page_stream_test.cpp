// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the page now shown from its address: local files and file:
// addresses, pages from an http server on this machine, and how each fails.
#include "platform/page_stream.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>

using namespace platform;

namespace {

QByteArray ReadAll(CByteStream& stream) {
    QByteArray out;
    for (char c; stream.Read(&c);) out.append(c);
    return out;
}

QString Write(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() ? path : QString();
}

// An http server on its own thread (a fetch blocks the test's thread); each
// complete request's socket goes to `answer`.
class HttpServer : public QThread {
public:
    explicit HttpServer(std::function<void(QTcpSocket*)> answer) : m_answer(std::move(answer)) {
        start();
        m_port = m_listening.get_future().get();
    }
    explicit HttpServer(const QByteArray& response)
        : HttpServer([response](QTcpSocket* s) { s->write(response), s->disconnectFromHost(); }) {}
    ~HttpServer() override { quit(), wait(); }
    QString Url(const char* path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

private:
    void run() override {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [socket, this] {
                if (socket->readAll().contains("\r\n\r\n")) m_answer(socket);
            });
        });
        m_listening.set_value(server.serverPort());
        exec();
    }
    std::function<void(QTcpSocket*)> m_answer;
    std::promise<quint16> m_listening;
    quint16 m_port = 0;
};

TEST(PageStream, LocalPagesReadAsTextInPieces) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("my scripts"));
    const QString path = Write(dir.filePath("my scripts/p#1.htm"), "<p>one\r\ntwo\r\n\rthree\n");
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + "#item/3";  // "my%20scripts/p%231.htm#item/3"
    for (const QString& address : {path, url}) {
        auto opened = OpenPageStream(address);
        ASSERT_EQ(opened.status, PageOpenStatus::Opened) << opened.message.toStdString();
        EXPECT_TRUE(ReadAll(*opened.stream) == "<p>one\ntwo\n\rthree\n" && !opened.stream->Failed());
    }
    // CR LF pairs and lone CRs on each side of the 64 KB piece boundary, read
    // byte by byte and line by line (which steps back over the boundary).
    for (int at = 65533; at <= 65538; ++at) {
        for (const QByteArray tail : {"\r\n<b>", "\r<b>", "\r\r\n", "\r"}) {
            const QByteArray page = QByteArray(at, 'a') + tail + "z" + QByteArray(70000, 'y') + "\r\n";
            const QByteArray text = QByteArray(page).replace("\r\n", "\n");
            auto bytes = OpenPageStream(Write(dir.filePath("edge.htm"), page)), lines = OpenPageStream(dir.filePath("edge.htm"));
            ASSERT_TRUE(bytes.stream && lines.stream);
            ASSERT_EQ(ReadAll(*bytes.stream), text) << at;
            QByteArray joined, line;
            while (lines.stream->ReadLine(line)) joined += line + '|';
            ASSERT_EQ(joined, QByteArray(text).replace("\r\n", "|").replace('\n', '|')) << at;
        }
    }
    // A missing page or a folder cannot be read; the message names it.
    for (const QString& missing : {dir.filePath("gone.htm"), QUrl::fromLocalFile(dir.filePath("gone.htm")).toString(), dir.path()}) {
        auto opened = OpenPageStream(missing);
        EXPECT_EQ(opened.status, PageOpenStatus::Unreadable) << missing.toStdString();
        EXPECT_TRUE(!opened.stream && opened.message.contains(dir.path())) << opened.message.toStdString();
    }
}

TEST(PageStream, RemotePagesAndTheirFailures) {
    // Bytes arrive as sent; an error page is still a page.
    const char* pages[][2] = {{"200 OK", "<b>one\r\ntwo</b>"}, {"404 Not Found", "<p>missing"}};
    for (auto [status, body] : pages) {
        HttpServer server(QByteArray("HTTP/1.0 ") + status + "\r\nContent-Type: text/html\r\n\r\n" + body);
        auto opened = OpenPageStream(server.Url("/p.htm#frag"));
        ASSERT_EQ(opened.status, PageOpenStatus::Opened) << status;
        EXPECT_EQ(ReadAll(*opened.stream), body);
    }
    // No server (nothing listens on port 1), a silent one, and addresses of other kinds: internet errors.
    HttpServer silent([](QTcpSocket*) {});
    for (const QString& url :
         {QString("http://127.0.0.1:1/p.htm"), silent.Url("/p.htm"), QString("about:blank"), QString("ftp://127.0.0.1/p.htm"), QString()}) {
        auto opened = OpenPageStream(url, 300);
        EXPECT_TRUE(opened.status == PageOpenStatus::InternetError && !opened.stream && opened.message.isEmpty()) << url.toStdString();
    }
    // A body cut short or without end is never taken for the page. The endless
    // server counts what it sent: the fetch stops near the size limit.
    std::atomic<qint64> sent = 0;
    auto endless = std::make_unique<HttpServer>([&sent](QTcpSocket* socket) {
        socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n");
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, &sent](qint64 n) {
            if ((sent += n) < (qint64(1) << 30) && socket->bytesToWrite() < (1 << 18)) socket->write(QByteArray(1 << 16, 'x'));
        });
        socket->write(QByteArray(1 << 16, 'x'));
    });
    HttpServer cut("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(1000, 'x'));
    for (HttpServer* server : {endless.get(), &cut}) {
        auto opened = OpenPageStream(server->Url("/p.htm#frag"), 60000);
        EXPECT_EQ(opened.status, PageOpenStatus::Unreadable);
        EXPECT_TRUE(!opened.stream && opened.message.startsWith("Could not read the page '" + server->Url("/p.htm") + "'"))
            << opened.message.toStdString();
    }
    endless.reset();
    EXPECT_GT(sent, kMaxPageBytes);
    EXPECT_LT(sent, kMaxPageBytes + (qint64(16) << 20));
}

}  // namespace
