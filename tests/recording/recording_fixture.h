// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's window with the simulated sound device on a stepped clock:
// time passes only when a test says so, so that every recorded buffer and
// every replayed sample can be counted. The input signal is distinct in each
// channel and at every frame, so a replay shows which samples were kept and
// in what order. Record and Play Recorded are chosen from the real menu.
#include "gui/gui_harness.h"

#include "app/main_frame.h"
#include "audio/recorder.h"
#include "audio/replay_buffer.h"
#include "audio/replay_file.h"
#include "audio/sample_block.h"
#include "common/test_audio.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"
#include "platform/wave_device.h"
#include "view/cmd_ui.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace rectest {

constexpr int kBlock = SampleBlock::kSamples;  // samples kept per input buffer

// The simulated input: left and right differ, and the left channel never
// repeats within a recording, so any replayed sample names its frame.
inline int16_t Left(uint64_t frame) { return int16_t(frame * 7 + 3); }
inline int16_t Right(uint64_t frame) { return int16_t(-int(frame % 977) - 11); }

inline QByteArray LeftBytes(uint64_t count) {
    QByteArray bytes;
    bytes.reserve(qsizetype(count * 2));
    for (uint64_t f = 0; f < count; ++f) {
        const int16_t s = Left(f);
        bytes.append(char(s & 0xff));
        bytes.append(char((s >> 8) & 0xff));
    }
    return bytes;
}

// Counts the device notifications that reach the view, without taking them.
class NotificationCount : public QObject {
public:
    int inData = 0, outDone = 0, outClose = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == platform::WaveEvent::InData) ++inData;
        if (e->type() == platform::WaveEvent::OutDone) ++outDone;
        if (e->type() == platform::WaveEvent::OutClose) ++outClose;
        return false;
    }
};

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAudio();
        m_sim.setKeepPlayed(true);
        platform::setAudioBackend(&m_sim);
        platform::SetMessageSink([this](const QString& text) { m_messages << text; });
        m_sim.setInputSignal([](uint64_t f, int c) { return c == 0 ? Left(f) : Right(f); });
        // A WAV file of 100 s of 8000 Hz mono, reached by a link on the page.
        // Each test names it anew: the file player keeps the name of the last
        // file it opened, and takes a link to that name for the file it holds.
        static int tests = 0;
        const QString wav = QStringLiteral("talk%1.wav").arg(++tests);
        const std::string pcm = testaudio::PcmBytes(testaudio::Sweep(8000, 1, 100.0));
        m_folder.Write(wav, QByteArray::fromStdString(testaudio::WaveFile(1, 8000, 16, pcm)));
        m_folder.Write(QStringLiteral("page.htm"),
                       "<html><body><p><a id='t10' href='" + wav.toUtf8() + "#10'>talk at 10</a></body></html>");
        m_window = std::make_unique<TestWindow>(QStringList{m_folder.Path(QStringLiteral("page.htm"))});
        ASSERT_TRUE(m_window->WaitForPage(QUrl::fromLocalFile(m_folder.Path(QStringLiteral("page.htm")))));
        View()->installEventFilter(&m_count);
    }
    void TearDown() override {
        m_window.reset();
        ResetAudio();
        platform::SetMessageSink({});
        platform::setAudioBackend(nullptr);
    }
    // The singletons outlive each test's window.
    static void ResetAudio() {
        theReplayFile.Close();
        theRecorder.Stop();
        theRecorder.Clear();
        theReplayBuffer.Stop();
        SetSampleBlockLimit(-1);
        QCoreApplication::sendPostedEvents();
    }

    CMainFrame* Frame() { return m_window->Frame(); }
    CParlotypeView* View() { return m_window->View(); }

    QAction* Item(const char* text) {
        for (QAction* top : Frame()->menuBar()->actions()) {
            if (top->text() != QLatin1String("&Audio") || !top->menu()) continue;
            for (QAction* item : top->menu()->actions())
                if (item->text() == QLatin1String(text)) return item;
        }
        return nullptr;
    }
    QAction* Record() { return Item("R&ecord"); }
    QAction* PlayRecorded() { return Item("P&lay Recorded"); }
    CStatusPane* Pane() { return Frame()->Pane(ID_INDICATOR_RECORDING); }
    // The view's joined recording as bytes.
    QByteArray Joined() {
        return QByteArray(reinterpret_cast<const char*>(View()->m_pRecSamples.get()), View()->m_nRecSamples * 2);
    }

    // Chooses a command as a click on its (enabled) menu item does; the idle
    // updates run first, so that the item shows its current state.
    void Choose(QAction* item) {
        m_window->LetIdle();
        ASSERT_TRUE(item);
        ASSERT_TRUE(item->isEnabled()) << item->text().toStdString();
        item->trigger();
    }
    void ChooseRecord() { Choose(Record()); }
    void ChoosePlayRecorded() { Choose(PlayRecorded()); }

    // Lets `ms` of sound time pass in steps shorter than one input buffer,
    // handing every notification to the view after each step.
    void Advance(int ms) {
        for (int step; ms > 0; ms -= step) {
            step = std::min(ms, 40);
            m_sim.advance(step);
            QCoreApplication::sendPostedEvents();
        }
    }
    // Records until `blocks` input buffers have been kept (the recorder must
    // be running), then lets a little more come into the next buffer.
    void RecordBlocks(int blocks) {
        for (int i = 0; i < 10 * blocks + 10 && theRecorder.GetCount() < blocks * kBlock; ++i) Advance(10);
        ASSERT_EQ(theRecorder.GetCount(), blocks * kBlock);
        Advance(30);  // part of the next buffer, which is not kept
    }
    // Plays until the recording player has closed; false after `ms`.
    bool ReplayToEnd(int ms) {
        for (int t = 0; t < ms && (theReplayBuffer.IsOpen() || View()->m_nRecState == 3); t += 40) Advance(40);
        return !theReplayBuffer.IsOpen() && View()->m_nRecState == 2;
    }

    // The state of Record, Play Recorded (menu item and toolbar button alike)
    // and the recording pane after the idle updates.
    void ExpectUi(const char* when, bool recordChecked, bool playEnabled, bool playChecked) {
        m_window->LetIdle();
        struct Row {
            QAction* item;
            bool enabled, checked;
        };
        for (const Row& r : {Row{Record(), true, recordChecked}, Row{PlayRecorded(), playEnabled, playChecked}}) {
            ASSERT_TRUE(r.item) << when;
            const std::string name = std::string(when) + ": " + r.item->text().toStdString();
            EXPECT_EQ(r.item->isEnabled(), r.enabled) << name;
            EXPECT_EQ(r.item->isChecked(), r.checked) << name;
            auto* button = qobject_cast<QToolButton*>(Frame()->GetToolBar()->widgetForAction(r.item));
            ASSERT_TRUE(button) << name;
            EXPECT_EQ(button->isEnabled(), r.enabled) << name << " (button)";
            EXPECT_EQ(button->isChecked(), r.checked) << name << " (button drawn pressed)";
        }
        ASSERT_TRUE(Pane()) << when;
        EXPECT_EQ(Pane()->text(), recordChecked ? QStringLiteral("** Recording **") : QString()) << when;
    }

    platform::SimAudioBackend m_sim{platform::SimAudioBackend::Clock::Stepped};
    PageFolder m_folder;
    std::unique_ptr<TestWindow> m_window;
    NotificationCount m_count;
    QStringList m_messages;
};

}  // namespace rectest
