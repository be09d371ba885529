// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/play_command.h"

#include "app/command_line.h"

#include "audio/replay_file.h"
#include "audio/replay_receiver.h"
#include "platform/message_box.h"
#include "script/audio_link.h"
#include "script/time_text.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kCheckMs = 25;        // end-time check: at least every 40 ms
constexpr qint64 kPrintMs = 250;    // position lines
constexpr qint64 kStallMs = 2000;   // no progress this long: the end, or a stalled device

// A malformed command line: the reason on standard error, exit status 2.
int Usage(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    return 2;
}

bool g_bMessagePrinted = false;

void PrintMessage(const QString& text) {
    g_bMessagePrinted = true;
    const QByteArray bytes = text.toLocal8Bit();
    std::fputs(bytes.constData(), stderr);
    if (!text.endsWith(QLatin1Char('\n'))) std::fputc('\n', stderr);
}

// Watches playback until it ends: the end time passed (stop), the device
// closed after the data ended or failed, or no progress for kStallMs: with
// nothing queued the start lay past the data (the end); with buffers queued
// the device stalled (a failure).
class PlayWatch {
public:
    PlayWatch(QCoreApplication& app, double endTime) : m_app(app), m_dEndTime(endTime) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kCheckMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Check(); });
        m_sincePrint.start();
        m_sinceProgress.start();
        m_dLastPos = theReplayFile.GetPosition();
        Print(m_dLastPos);
        m_timer.start();
    }

private:
    void Check() {
        // Once the device has closed, the last position read is the last heard.
        if (!theReplayFile.IsPlaying()) return Finish(m_dLastPos, theReplayFile.DeviceFailed() ? 1 : 0);
        const double pos = theReplayFile.GetPosition();
        if (m_dEndTime > 0 && pos > m_dEndTime) {
            theReplayFile.CloseDevice();
            return Finish(pos, 0);
        }
        if (pos != m_dLastPos) m_sinceProgress.restart();
        m_dLastPos = pos;
        if (m_sinceProgress.elapsed() >= kStallMs) {
            if (!theReplayFile.HasQueuedAudio()) return Finish(pos, 0);
            theReplayFile.CloseDevice();
            platform::showMessage(QCoreApplication::translate("PlayCommand", "The replay device stalled: nothing was heard for %1 s").arg(kStallMs / 1000));
            return Finish(pos, 1);
        }
        if (m_sincePrint.elapsed() >= kPrintMs) Print(pos);
    }
    void Print(double pos) {
        std::printf("%s\n", qPrintable(timeText(pos)));
        std::fflush(stdout);
        m_sincePrint.restart();
    }
    void Finish(double pos, int status) {
        m_timer.stop();
        Print(pos);
        m_app.exit(status);
    }

    QCoreApplication& m_app;
    const double m_dEndTime;
    QTimer m_timer;
    QElapsedTimer m_sincePrint, m_sinceProgress;
    double m_dLastPos = 0.0;
};

}  // namespace

// The --speed value: a number in the player's range, read as C reads numbers.
bool ReadSpeed(const QString& text, double& speed) {
    if (text.isEmpty()) return true;
    const QByteArray bytes = text.toLatin1();
    char* end = nullptr;
    speed = std::strtod(bytes.constData(), &end);
    return end != bytes.constData() && *end == '\0' && speed >= CReplayFile::kMinSpeed &&
           speed <= CReplayFile::kMaxSpeed;
}

int RunPlayCommand(const CommandLine& commandLine, int argc, char** argv) {
    const QString linkText = commandLine.value(QStringLiteral("play"));
    const AudioLinkParts link = splitAudioLink(linkText);
    if (link.file.isEmpty())
        return Usage(QCoreApplication::translate("PlayCommand", "parlotype: --play needs a file in its link "
                                                 "FILE[#START[#END]], not '%1'\n").arg(linkText));
    double speed = 1.0;
    const QString speedText = commandLine.value(QStringLiteral("speed"));
    if (!ReadSpeed(speedText, speed))
        return Usage(QCoreApplication::translate("PlayCommand", "parlotype: --speed takes a number from %1 to %2, "
                                                 "not '%3'\n").arg(CReplayFile::kMinSpeed).arg(CReplayFile::kMaxSpeed).arg(speedText));

    QCoreApplication app(argc, argv);
    platform::setMessageSink(PrintMessage);
    CReplayReceiver receiver;
    int status = 1;
    theReplayFile.SetSpeed(speed);
    if (theReplayFile.Open(link.file) && theReplayFile.Play(&receiver, link.start)) {
        PlayWatch watch(app, link.end);
        status = app.exec();
    } else if (!g_bMessagePrinted) {  // opened but neither WAV nor MP3: the player is silent about it
        PrintMessage(QCoreApplication::translate("PlayCommand", "parlotype: '%1' is neither a WAV nor an MP3 file")
                         .arg(link.file));
    }
    theReplayFile.Close();  // the device goes before the application object
    platform::setMessageSink({});
    return status;
}
