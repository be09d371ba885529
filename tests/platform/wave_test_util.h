// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the wave device tests: a receiver that records every
// notification, and formats.

#include "platform/wave_device.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <functional>
#include <vector>

namespace wavetest {

struct Note {
    QEvent::Type type;
    platform::WaveHeader* header;
    bool operator==(const Note&) const = default;
};

class Receiver : public QObject {
public:
    std::vector<Note> notes;
    std::function<void(const Note&)> onNote;
    bool event(QEvent* e) override {
        if (e->type() != platform::WaveEvent::OutDone && e->type() != platform::WaveEvent::OutClose &&
            e->type() != platform::WaveEvent::InData)
            return QObject::event(e);
        Note n{e->type(), static_cast<platform::WaveEvent*>(e)->header};
        notes.push_back(n);
        if (onNote) onNote(n);
        return true;
    }
    int count(QEvent::Type t) const {
        int n = 0;
        for (const Note& x : notes) n += x.type == t;
        return n;
    }
};

inline platform::WaveFormat pcm16(int channels, uint32_t rate) {
    platform::WaveFormat f;
    f.channels = uint16_t(channels);
    f.samplesPerSec = rate;
    f.bitsPerSample = 16;
    f.blockAlign = uint16_t(channels * 2);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

// Delivers every notification posted so far.
inline void pump() { QCoreApplication::sendPostedEvents(); }

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return done();
}

}  // namespace wavetest
