// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the page now shown from its address: local files and file:
// addresses, pages from an http server on this machine, and how each fails.
#include "common/test_audio.h"
#include "platform/page_stream.h"

#include <QCoreApplication>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace platform;

namespace {

QByteArray readAll(ByteStream& stream) {
    QByteArray out;
    for (char c; stream.read(&c);) out.append(c);
    return out;
}

using Answer = std::function<void(QTcpSocket*)>;
Answer respond(const QByteArray& response) { return [response](QTcpSocket* s) { s->write(response), s->disconnectFromHost(); }; }

// Fetches /p.htm#frag from an http server on this machine whose `answer` gets
// each complete request's socket. The fetch blocks, so it runs on a thread of
// its own while this one serves. In the message the server's port reads PORT.
PageOpenResult fetch(const Answer& answer, int timeoutMs = 60000) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, [socket, &answer] {
            if (socket->readAll().contains("\r\n\r\n")) answer(socket);
        });
    });
    const QString port = QString::number(server.serverPort());
    PageOpenResult opened;
    const QString url = "http://127.0.0.1:" + port + "/p.htm#frag";
    const std::unique_ptr<QThread> fetch(QThread::create([&] { opened = openPageStream(url, timeoutMs); }));
    fetch->start();
    while (!fetch->wait(1)) QCoreApplication::processEvents();
    opened.message.replace(':' + port + '/', ":PORT/");
    return opened;
}

TEST(PageStream, LocalPagesReadAsTextInPieces) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("my scripts"));
    const QString path = dir.filePath("my scripts/p#1.htm"), edge = dir.filePath("edge.htm");
    ASSERT_TRUE(testaudio::writeFile(path, "<p>one\r\ntwo\r\n\rthree\n"));
    // Also as "file:///.../my%20scripts/p%231.htm#item/3".
    for (const QString& address : {path, QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + "#item/3"}) {
        auto opened = openPageStream(address);
        ASSERT_EQ(opened.status, PageOpenStatus::Opened) << opened.message.toStdString();
        EXPECT_TRUE(readAll(*opened.stream) == "<p>one\ntwo\n\rthree\n" && !opened.stream->failed());
    }
    // CR LF pairs and lone CRs on each side of the 64 KB piece boundary, read
    // byte by byte and line by line (which steps back over the boundary).
    for (int at = 65533; at <= 65538; ++at) {
        for (const QByteArray tail : {"\r\n<b>", "\r<b>", "\r\r\n", "\r"}) {
            const QByteArray page = QByteArray(at, 'a') + tail + "z" + QByteArray(70000, 'y') + "\r\n";
            const QByteArray text = QByteArray(page).replace("\r\n", "\n");
            ASSERT_TRUE(testaudio::writeFile(edge, page.toStdString()));
            auto bytes = openPageStream(edge), lines = openPageStream(edge);
            ASSERT_TRUE(bytes.stream && lines.stream);
            ASSERT_EQ(readAll(*bytes.stream), text) << at;
            QByteArray joined, line;
            while (lines.stream->readLine(line)) joined += line + '|';
            ASSERT_EQ(joined, QByteArray(text).replace("\r\n", "|").replace('\n', '|')) << at;
        }
    }
    // A missing page or a folder cannot be read; the message names it.
    for (const QString& missing : {dir.filePath("gone.htm"), QUrl::fromLocalFile(dir.filePath("gone.htm")).toString(), dir.path()}) {
        auto opened = openPageStream(missing);
        EXPECT_EQ(opened.status, PageOpenStatus::Unreadable) << missing.toStdString();
        EXPECT_TRUE(!opened.stream && opened.message.contains(dir.path())) << opened.message.toStdString();
    }
}

TEST(PageStream, RemotePagesAndTheirFailures) {
    // Bytes arrive as sent; an error page is still a page.
    const char* pages[][2] = {{"200 OK", "<b>one\r\ntwo</b>"}, {"404 Not Found", "<p>missing"}};
    for (auto [status, body] : pages) {
        auto opened = fetch(respond(QByteArray("HTTP/1.0 ") + status + "\r\nContent-Type: text/html\r\n\r\n" + body));
        ASSERT_EQ(opened.status, PageOpenStatus::Opened) << status;
        EXPECT_EQ(readAll(*opened.stream), body);
    }
    // No server (nothing listens on port 1), a silent one, and addresses of other kinds: internet errors.
    std::vector<PageOpenResult> failed;
    failed.push_back(fetch([](QTcpSocket*) {}, 300));
    for (const char* url : {"http://127.0.0.1:1/p.htm", "about:blank", "ftp://127.0.0.1/p.htm", ""})
        failed.push_back(openPageStream(url, 300));
    for (const auto& opened : failed)
        EXPECT_TRUE(opened.status == PageOpenStatus::InternetError && !opened.stream && opened.message.isEmpty());
    // A body cut short or without end is never taken for the page. The endless
    // server counts what it sent: the fetch stops near the size limit.
    qint64 sent = 0;
    const Answer endless = [&sent](QTcpSocket* socket) {
        socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n");
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [socket, &sent](qint64 n) {
            if ((sent += n) < (qint64(1) << 30) && socket->bytesToWrite() < (1 << 18)) socket->write(QByteArray(1 << 16, 'x'));
        });
        socket->write(QByteArray(1 << 16, 'x'));
    };
    const Answer cut = respond("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(1000, 'x'));
    for (const bool tooLarge : {true, false}) {
        auto opened = fetch(tooLarge ? endless : cut, 60000);
        EXPECT_TRUE(opened.status == PageOpenStatus::Unreadable && !opened.stream) << opened.message.toStdString();
        EXPECT_TRUE(opened.message.startsWith("Could not read the page 'http://127.0.0.1:PORT/p.htm'")) << opened.message.toStdString();
        EXPECT_EQ(opened.message.contains("larger than 64 MB"), tooLarge) << opened.message.toStdString();
    }
    // What the sockets hold between the two ends grows with the machine's
    // load (up to 28 MB seen); a fetch without the limit reads on to 1 GB.
    EXPECT_GT(sent, kMaxPageBytes);
    EXPECT_LT(sent, 2 * kMaxPageBytes);
}

}  // namespace
