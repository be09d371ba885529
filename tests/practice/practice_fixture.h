// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window on a page of three items of a 3-second file (8 kHz mono: one
// 64 KB buffer holds it all, so only the tests move the position), the
// simulated device on a stepped clock, and the window's menu items found by
// their text as a user finds them.
#include "readalong/readalong_window.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/test_audio.h"
#include "app/app_identity.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "view/cmd_ui.h"
#include "view/command_ids.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

class PracticeTest : public ::testing::Test {
protected:
    // s1 0.5-1.0, s2 1.0-1.5, s3 1.5-2.0; the page sets its own colour for
    // the highlighted item and keeps the default background.
    void SetUp() override {
        SetApplicationIdentity();
        QSettings().clear();  // each case starts as a first run
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        const std::string wav = testaudio::WaveFile(1, 8000, 16, testaudio::PcmBytes(testaudio::Sweep(8000, 1, 3.0)));
        m_folder.Write(QStringLiteral("a.wav"), QByteArray::fromStdString(wav));
        m_folder.Write(QStringLiteral("page.htm"),
                       "<html><head><title>Practice page</title>"
                       "<style>.parlotype-current { color: rgb(1, 2, 3) }</style></head><body>"
                       "<p><a id=play href='a.wav#0.2'>from 0.2</a> <a id=ranged href='a.wav#0.5#1.0'>0.5 to 1</a>"
                       "<p><a name=s1 href='a.wav#0.5#1.0'>first</a>"
                       "<p><a name=s2 href='a.wav#1.0#1.5'>second</a>"
                       "<p><a name=s3 href='a.wav#1.5#2.0'>third</a>"
                       "<div style='height: 3000px'></div></body></html>");
    }
    void TearDown() override {
        theReplayFile.CloseDevice();
        theReplayFile.Close();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }

    // The window, active (so that it has the keyboard) on the page.
    std::unique_ptr<ReadAlongWindow> OpenPage() {
        auto w = std::make_unique<ReadAlongWindow>(QStringList{m_folder.Path(QStringLiteral("page.htm"))});
        EXPECT_TRUE(w->WaitForPage(m_folder.Url(QStringLiteral("page.htm"))));
        w->Frame()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w->Frame()));
        return w;
    }

    // Clicks a link and waits until it plays from `start`.
    void Follow(ReadAlongWindow& w, const QString& id, double start) {
        ASSERT_TRUE(w.Click(id));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return theReplayFile.IsPlaying() && theReplayFile.GetPosition() == start; }, 10000))
            << id.toStdString();
    }

    // Lets `ms` of sound pass, then the idle-time updates run.
    void Advance(ReadAlongWindow& w, int ms) {
        m_sim.advance(ms);
        w.LetIdle();
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QStringList m_messages;
};

// The menu item with this text anywhere in the menus (submenus included).
inline QAction* FindItem(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions) {
        if (a->text() == text) return a;
        if (a->menu())
            if (QAction* found = FindItem(a->menu()->actions(), text)) return found;
    }
    return nullptr;
}

inline QAction* Item(ReadAlongWindow& w, const char* text) {
    w.LetIdle();
    QAction* item = FindItem(w.Frame()->menuBar()->actions(), QString::fromUtf8(text));
    EXPECT_TRUE(item) << text;
    return item;
}

// A pane's text as shown (empty while the pane is off).
inline QString PaneText(ReadAlongWindow& w, int id) {
    w.LetIdle();
    return w.Frame()->Pane(id)->text();
}
