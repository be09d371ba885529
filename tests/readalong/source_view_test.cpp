// SPDX-License-Identifier: GPL-3.0-or-later
// View Source and View Parse in the program's window: the listings of the
// page shown (golden files beside this test), read afresh from its location
// also when it carries an anchor; nothing for the home page or a server
// that has gone; a message for a page file that has gone.
#include "readalong/readalong_window.h"

#include "app/main_frame.h"
#include "platform/message_box.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

QByteArray Golden(const QString& name) {
    QFile file(QStringLiteral(PARLOTYPE_SOURCE_DIR "/tests/readalong/golden/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

// A one-page web server on a thread of its own (the program waits for a
// remote page on the GUI thread, so the server must not need it).
class PageServer {
public:
    explicit PageServer(QByteArray body) : m_body(std::move(body)) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(m_fd, 8) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~PageServer() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }
    QUrl Url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/reading.htm").arg(m_port)); }

private:
    void Serve() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int c = accept(m_fd, nullptr, nullptr);
            if (c < 0) continue;
            QByteArray request;
            char buf[4096];
            while (!request.contains("\r\n\r\n")) {
                const ssize_t n = read(c, buf, sizeof buf);
                if (n <= 0) break;
                request.append(buf, n);
            }
            const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                     QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
            for (qsizetype done = 0; done < reply.size();) {
                const ssize_t n = write(c, reply.constData() + done, size_t(reply.size() - done));
                if (n <= 0) break;
                done += n;
            }
            close(c);
        }
    }

    QByteArray m_body;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class SourceViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        m_folder.Write(QStringLiteral("reading.htm"), Golden(QStringLiteral("reading.htm")));
    }
    void TearDown() override { platform::SetMessageSink({}); }

    // Runs a command from its menu action, as a reader would.
    static std::vector<ShownDialog> Run(ReadAlongWindow& w, int id) {
        w.LetIdle();
        QAction* action = w.Frame()->Action(id);
        EXPECT_TRUE(action->isEnabled());
        return CatchSourceDialogs([&] { action->trigger(); });
    }

    PageFolder m_folder;
    QStringList m_messages;
};

QString Lines(QString text) { return text.replace(QLatin1String("\r\n"), QLatin1String("\n")); }

TEST_F(SourceViewTest, ListingsOfThePageShown) {
    ReadAlongWindow w({m_folder.Path(QStringLiteral("reading.htm"))});
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("reading.htm"))));

    const auto source = Run(w, ID_VIEW_SOURCE);
    ASSERT_EQ(source.size(), 1u);
    EXPECT_EQ(source[0].caption, QStringLiteral("Source"));
    EXPECT_EQ(source[0].text, QString::fromUtf8(Golden(QStringLiteral("reading.source.txt"))));
    // The text control shows each CR LF as one line end.
    EXPECT_EQ(source[0].shownText, Lines(source[0].text));
    EXPECT_TRUE(source[0].readOnly);
    // 369 x 206 dialog units: wider than high, and larger than a few lines.
    EXPECT_GT(source[0].size.width(), source[0].size.height());
    EXPECT_GT(source[0].size.height(), 200);

    // After the page has moved to an anchor, the location carries it.
    w.Web()->moveToAnchor(w.Web()->location() + QStringLiteral("#s1"));
    ASSERT_TRUE(w.WaitForFragment(QStringLiteral("s1")));
    const auto parsed = Run(w, ID_VIEW_PARSE);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].caption, QStringLiteral("Source"));
    EXPECT_EQ(parsed[0].text, QString::fromUtf8(Golden(QStringLiteral("reading.parsed.txt"))));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

TEST_F(SourceViewTest, EmptyAndLatin1Pages) {
    m_folder.Write(QStringLiteral("empty.htm"), "");
    m_folder.Write(QStringLiteral("latin1.htm"), "<p title='caf\xe9'>na\xefve\r\n");
    ReadAlongWindow w({m_folder.Path(QStringLiteral("empty.htm"))});
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("empty.htm"))));
    for (int id : {ID_VIEW_SOURCE, ID_VIEW_PARSE}) {
        const auto shown = Run(w, id);
        ASSERT_EQ(shown.size(), 1u) << id;
        EXPECT_EQ(shown[0].text, QString()) << id;
    }

    ASSERT_TRUE(w.App().OpenDocumentFile(m_folder.Path(QStringLiteral("latin1.htm"))));
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("latin1.htm"))));
    const auto source = Run(w, ID_VIEW_SOURCE);
    ASSERT_EQ(source.size(), 1u);
    EXPECT_EQ(source[0].text, QStringLiteral("<p title='caf\u00e9'>na\u00efve\r\n"));
    const auto parsed = Run(w, ID_VIEW_PARSE);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].text, QStringLiteral("<P:\r\n  TITLE=\"caf\u00e9\"\r\n>\r\n\"na\u00efve\n\"\r\n"));
}

TEST_F(SourceViewTest, NothingForTheHomePage) {
    ReadAlongWindow w;
    ASSERT_TRUE(w.WaitForPage(QUrl(QString::fromLatin1(platform::kHomePageUrl))));
    EXPECT_TRUE(Run(w, ID_VIEW_SOURCE).empty());
    EXPECT_TRUE(Run(w, ID_VIEW_PARSE).empty());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SourceViewTest, VanishedPageFileIsReported) {
    const QString page = m_folder.Path(QStringLiteral("reading.htm"));
    ReadAlongWindow w({page});
    ASSERT_TRUE(w.WaitForPage(m_folder.Url(QStringLiteral("reading.htm"))));
    ASSERT_TRUE(QFile::remove(page));
    for (int id : {ID_VIEW_SOURCE, ID_VIEW_PARSE}) {
        m_messages.clear();
        EXPECT_TRUE(Run(w, id).empty()) << id;
        ASSERT_EQ(m_messages.size(), 1) << id;
        EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Could not open the page '%1'").arg(page)))
            << m_messages[0].toStdString();
    }
    // The program goes on: once the file is back, the listing shows.
    m_folder.Write(QStringLiteral("reading.htm"), "<p>back");
    const auto shown = Run(w, ID_VIEW_PARSE);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("<P>\r\n\"back\"\r\n"));
}

TEST_F(SourceViewTest, RemotePageAndAServerThatHasGone) {
    PageServer server(Golden(QStringLiteral("reading.htm")));
    ReadAlongWindow w;
    w.View()->Navigate2(server.Url().toString());
    ASSERT_TRUE(w.WaitForPage(server.Url()));
    const auto source = Run(w, ID_VIEW_SOURCE);
    ASSERT_EQ(source.size(), 1u);
    EXPECT_EQ(source[0].text, QString::fromUtf8(Golden(QStringLiteral("reading.source.txt"))));

    // The server is gone: an internet error, which ends the commands quietly.
    server.Stop();
    EXPECT_TRUE(Run(w, ID_VIEW_SOURCE).empty());
    EXPECT_TRUE(Run(w, ID_VIEW_PARSE).empty());
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
}

}  // namespace
