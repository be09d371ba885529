// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/play_command.h"

#include "app/command_line.h"

#include "audio/file_player.h"
#include "platform/wave_device.h"
#include "script/audio_link.h"
#include "script/time_text.h"
#include "session/playback_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kCheckMs = 25;        // progress checks: at least every 40 ms
constexpr qint64 kPrintMs = 250;    // position lines
constexpr qint64 kStallMs = 2000;   // no progress this long with sound queued: a stalled device

// A malformed command line: the reason on standard error, exit status 2.
int usage(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    return 2;
}

void printMessage(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fputs(bytes.constData(), stderr);
    if (!text.endsWith(QLatin1Char('\n'))) std::fputc('\n', stderr);
}

// Prints the position while the session plays, and ends the program when it
// stops: the end time passed or the data ended (0), or the device failed
// (1). A device that makes no progress for kStallMs with sound queued has
// stalled: that is a failure too.
class PlayWatch {
public:
    PlayWatch(QCoreApplication& app, PlaybackSession& playback) : m_app(app), m_playback(playback) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kCheckMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { check(); });
        // The last position the session read is the last heard.
        QObject::connect(&playback, &PlaybackSession::positionChanged, &m_timer, [this](double pos) { m_lastPos = pos; });
        QObject::connect(&playback, &PlaybackSession::stateChanged, &m_timer, [this](PlaybackSession::State state) {
            if (state == PlaybackSession::State::Stopped) finish(m_lastPos, m_playback.deviceFailed() ? 1 : 0);
        });
        m_sincePrint.start();
        m_sinceProgress.start();
        m_lastPos = playback.position();
        m_lastProgress = m_lastPos;
        print(m_lastPos);
        m_timer.start();
    }

private:
    void check() {
        if (!m_playback.isPlaying()) return;
        const double pos = m_playback.position();
        if (pos != m_lastProgress) m_sinceProgress.restart();
        m_lastProgress = pos;
        if (m_sinceProgress.elapsed() >= kStallMs && m_playback.hasQueuedAudio()) {
            printMessage(QCoreApplication::translate("PlayCommand", "The replay device stalled: nothing was heard for %1 s").arg(kStallMs / 1000));
            finish(pos, 1);
            m_playback.stop();
            return;
        }
        if (m_sincePrint.elapsed() >= kPrintMs) print(pos);
    }
    void print(double pos) {
        std::printf("%s\n", qPrintable(timeText(pos)));
        std::fflush(stdout);
        m_sincePrint.restart();
    }
    void finish(double pos, int status) {
        if (m_finished) return;
        m_finished = true;
        m_timer.stop();
        print(pos);
        m_app.exit(status);
    }

    QCoreApplication& m_app;
    PlaybackSession& m_playback;
    QTimer m_timer;
    QElapsedTimer m_sincePrint, m_sinceProgress;
    double m_lastPos = 0.0;
    double m_lastProgress = 0.0;
    bool m_finished = false;
};

}  // namespace

// The --speed value: a number in the player's range, read as C reads numbers.
bool readSpeed(const QString& text, double& speed) {
    if (text.isEmpty()) return true;
    const QByteArray bytes = text.toLatin1();
    char* end = nullptr;
    speed = std::strtod(bytes.constData(), &end);
    return end != bytes.constData() && *end == '\0' && speed >= FilePlayer::kMinSpeed &&
           speed <= FilePlayer::kMaxSpeed;
}

int runPlayCommand(const CommandLine& commandLine, int argc, char** argv) {
    const QString linkText = commandLine.value(QStringLiteral("play"));
    const AudioLinkParts link = splitAudioLink(linkText);
    if (link.file.isEmpty())
        return usage(QCoreApplication::translate("PlayCommand", "parlotype: --play needs a file in its link "
                                                 "FILE[#START[#END]], not '%1'\n").arg(linkText));
    double speed = 1.0;
    const QString speedText = commandLine.value(QStringLiteral("speed"));
    if (!readSpeed(speedText, speed))
        return usage(QCoreApplication::translate("PlayCommand", "parlotype: --speed takes a number from %1 to %2, "
                                                 "not '%3'\n").arg(FilePlayer::kMinSpeed).arg(FilePlayer::kMaxSpeed).arg(speedText));

    QCoreApplication app(argc, argv);
    bool messagePrinted = false;
    int status = 1;
    {
        const std::unique_ptr<platform::AudioBackend> backend = platform::createAudioBackend();
        FilePlayer player(*backend);
        PlaybackSession playback(player);
        QObject::connect(&playback, &PlaybackSession::failed, [&messagePrinted](const QString& text) {
            messagePrinted = true;
            printMessage(text);
        });
        playback.setSpeed(speed);
        if (playback.playLink(linkText) && playback.isPlaying()) {
            PlayWatch watch(app, playback);
            status = app.exec();
        } else if (!messagePrinted) {  // opened but neither WAV nor MP3: the player is silent about it
            printMessage(QCoreApplication::translate("PlayCommand", "parlotype: '%1' is neither a WAV nor an MP3 file")
                             .arg(link.file));
        }
        player.close();  // the device goes before the application object
    }
    return status;
}
