// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file player on the simulated device, with its messages collected.

#include "audio/replay_file.h"
#include "audio/replay_receiver.h"
#include "common/replay_file_probe.h"
#include "platform/message_box.h"
#include "platform/sim_audio.h"

#include <QCoreApplication>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

class ReplayTest : public ::testing::Test {
protected:
    using Probe = ReplayFileProbe;
    using Clock = platform::SimAudioBackend::Clock;

    void SetUp() override {
        UseClock(Clock::Stepped);
        platform::SetMessageSink([this](const QString& text) { messages << text; });
    }
    void TearDown() override {
        player.Close();
        platform::setAudioBackend(nullptr);
        platform::SetMessageSink({});
    }
    void UseClock(Clock clock) {
        sim = std::make_unique<platform::SimAudioBackend>(clock);
        sim->setKeepPlayed(true);
        platform::setAudioBackend(sim.get());
    }
    // Delivers the device notifications posted so far.
    void Pump() { QCoreApplication::sendPostedEvents(receiver.get(), platform::WaveEvent::OutDone); }
    // Lets the stepped clock run until playback ends (or `limitMs` passed).
    void RunToEnd(int limitMs = 600000) {
        for (int ms = 0; ms < limitMs && player.IsPlaying(); ms += 50) {
            sim->advance(50);
            Pump();
        }
    }
    int Play(double start) { return player.Play(receiver.get(), start); }

    std::unique_ptr<platform::SimAudioBackend> sim;
    CReplayFile player;
    std::unique_ptr<CReplayReceiver> receiver = std::make_unique<CReplayReceiver>(player);
    QStringList messages;
};
