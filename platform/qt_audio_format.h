// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversions and checks shared by the Qt Multimedia devices.

#include "platform/wave_device.h"

#include <QAudio>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QCoreApplication>
#include <memory>
#include <optional>

namespace platform {

// The Qt format for a PCM format the program hands over; none for a format
// Qt cannot play (only 8-bit unsigned and 16-bit signed PCM are taken).
std::optional<QAudioFormat> toQtFormat(const WaveFormat& format);

// Whole frames of `format` in `usecs` microseconds, in bytes.
uint64_t bytesForUsecs(const WaveFormat& format, int64_t usecs);

// The Qt format for `format` on `device`; none when there is no device or it
// does not take the format.
std::optional<QAudioFormat> formatOn(const QAudioDevice& device, const WaveFormat& format);

// Whether a device just started is running: no error and not stopped.
bool startedFine(QAudio::State state, QAudio::Error error);

// Whether a device stopped because the server went away or refused the stream.
bool serverFailed(QAudio::State state, QAudio::Error error);

// A Qt audio device's destructor runs the event loop, so the device is
// stopped and deleted later, from the event loop, rather than inside a call
// of its owner; its stream goes with it, as the device may still point at it.
// After the event loop (the process is ending) both are left be.
template <class Device, class Stream>
void deleteFromEventLoop(Device* device, std::unique_ptr<Stream>& stream) {
    if (!QCoreApplication::instance()) return;
    device->stop();
    device->deleteLater();
    stream.release()->deleteLater();
}

}  // namespace platform
