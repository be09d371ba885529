// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window on a script page with two audio files beside it, the simulated
// sound device on a stepped clock (time moves only when a test says so, so
// positions are exact), and the window's real menu items and toolbar buttons.
#include "gui/gui_harness.h"

#include "app/main_frame.h"
#include "audio/replay_file.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <gtest/gtest.h>

class TransportTest : public ::testing::Test {
protected:
    // talk.wav: 100 s of 8000 Hz mono (16000 bytes a second); other.wav: 10 s.
    // The named anchors make two audio items of talk.wav: one 0-30 s, two 30-60 s.
    void SetUp() override {
        // Each case has a folder of its own: the player keeps the name of the
        // file it last opened, so a file of an earlier case would count as loaded.
        static int cases = 0;
        m_case = QStringLiteral("case %1/").arg(++cases);
        QDir().mkpath(m_folder.Path(m_case));
        theReplayFile.Close();
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        WriteWave(QStringLiteral("talk.wav"), 100.0);
        WriteWave(QStringLiteral("other.wav"), 10.0);
        Write(QStringLiteral("page.htm"),
                       "<html><body>"
                       "<p><a id='t2to4' href='talk.wav#2#4'>talk from 2 to 4</a>"
                       "<p><a id='t10' href='talk.wav#10'>talk at 10</a>"
                       "<p><a id='t83' href='talk.wav#83.46'>talk at 83.46</a>"
                       "<p><a id='o1' href='other.wav#1.25'>other at 1.25</a>"
                       "<p><a id='missing' href='missing.wav'>missing</a>"
                       "<p><a id='next' href='next.htm'>next page</a>"
                       "<p><a name='one' id='one' href='talk.wav#0#30'>item one</a>"
                       "<p><a name='two' id='two' href='talk.wav#30#60'>item two</a>"
                       "</body></html>");
        Write(QStringLiteral("next.htm"), "<html><body>next</body></html>");
    }
    void TearDown() override {
        theReplayFile.Close();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }

    void WriteWave(const QString& name, double seconds) {
        const std::string pcm = testaudio::PcmBytes(testaudio::Sweep(8000, 1, seconds));
        Write(name, QByteArray::fromStdString(testaudio::WaveFile(1, 8000, 16, pcm)));
    }
    void Write(const QString& name, const QByteArray& bytes) { m_folder.Write(m_case + name, bytes); }

    QString Path(const char* name) const { return m_folder.Path(m_case + QLatin1String(name)); }
    QUrl Url(const char* name) const { return QUrl::fromLocalFile(Path(name)); }

    std::unique_ptr<TestWindow> OpenPage() {
        auto w = std::make_unique<TestWindow>(QStringList{Path("page.htm")});
        EXPECT_TRUE(w->WaitForPage(Url("page.htm")));
        return w;
    }

    // Clicks the audio link with this id and waits until the player plays
    // `file` from `seconds`.
    bool PlayLink(TestWindow& w, const char* id, const QString& file, double seconds) {
        const QString selector = QLatin1Char('#') + QLatin1String(id);
        const bool played = w.Click(selector) && QTest::qWaitFor([&] {
                                return theReplayFile.GetFileName() == file && theReplayFile.IsPlaying() &&
                                       theReplayFile.GetPosition() == seconds;
                            }, 10000);
        EXPECT_TRUE(played) << "file " << theReplayFile.GetFileName().toStdString() << ", loaded "
                            << theReplayFile.IsLoaded() << ", playing " << theReplayFile.IsPlaying() << " at "
                            << theReplayFile.GetPosition() << ", messages "
                            << m_messages.join(QLatin1Char('|')).toStdString();
        return played;
    }

    // Lets `ms` of sound time pass, a second at a time so that the player
    // refills its ring as it would, then the event loop go idle (idle-time
    // updates run).
    void Advance(TestWindow& w, int ms) {
        for (int step; ms > 0; ms -= step) {
            step = std::min(ms, 1000);
            m_sim.advance(step);
            QCoreApplication::sendPostedEvents();
        }
        w.LetIdle();
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    QString m_case;
    QStringList m_messages;
};

// A command as the user reaches it: the menu item under `menu` with `text`
// (or, with `menu` null, the item on the menu bar itself).
inline QAction* MenuItem(CMainFrame* frame, const char* menu, const char* text) {
    for (QAction* top : frame->menuBar()->actions()) {
        if (!menu) {
            if (top->text() == QLatin1String(text)) return top;
            continue;
        }
        if (top->text() != QLatin1String(menu) || !top->menu()) continue;
        for (QAction* item : top->menu()->actions())
            if (item->text() == QLatin1String(text)) return item;
    }
    return nullptr;
}

inline QToolButton* ToolButton(CMainFrame* frame, QAction* action) {
    return qobject_cast<QToolButton*>(frame->GetToolBar()->widgetForAction(action));
}

// Chooses a command from its menu as a user does: once the event loop has
// gone idle (so the item shows its state), a click on the item.
inline void Choose(TestWindow& w, const char* menu, const char* text) {
    w.LetIdle();
    QAction* item = MenuItem(w.Frame(), menu, text);
    ASSERT_TRUE(item) << menu << " > " << text;
    ASSERT_TRUE(item->isEnabled()) << menu << " > " << text;
    item->trigger();
}
