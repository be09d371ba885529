#include "app/play_command.h"

#include "audio/replay_file.h"
#include "audio/replay_receiver.h"
#include "platform/message_box.h"
#include "view/audio_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kCheckMs = 25;        // end-time check: at least every 40 ms
constexpr qint64 kPrintMs = 250;    // position lines
constexpr qint64 kStallMs = 2000;   // no progress this long: nothing is left to play

int Usage() {
    std::fprintf(stderr, "usage: parlotype --play FILE[#START[#END]] [--speed 0.5..2]\n");
    return 2;
}

void PrintMessage(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fputs(bytes.constData(), stderr);
    if (!text.endsWith(QLatin1Char('\n'))) std::fputc('\n', stderr);
}

// Watches playback until it ends: the end time passed (stop), the device
// closed after the data ended, or no progress at all (the start lies past
// the data, so nothing was queued and no buffer will come back).
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
        if (!theReplayFile.IsPlaying()) return Finish(m_dLastPos);
        const double pos = theReplayFile.GetPosition();
        if (m_dEndTime > 0 && pos > m_dEndTime) {
            theReplayFile.CloseDevice();
            return Finish(pos);
        }
        if (pos != m_dLastPos) m_sinceProgress.restart();
        m_dLastPos = pos;
        if (m_sinceProgress.elapsed() >= kStallMs) return Finish(pos);
        if (m_sincePrint.elapsed() >= kPrintMs) Print(pos);
    }
    void Print(double pos) {
        std::printf("%s\n", FormatPlayTime(pos).c_str());
        std::fflush(stdout);
        m_sincePrint.restart();
    }
    void Finish(double pos) {
        m_timer.stop();
        Print(pos);
        m_app.exit(0);
    }

    QCoreApplication& m_app;
    const double m_dEndTime;
    QTimer m_timer;
    QElapsedTimer m_sincePrint, m_sinceProgress;
    double m_dLastPos = 0.0;
};

}  // namespace

std::string FormatPlayTime(double seconds) {
    // Clamped so the conversions below stay defined for any time.
    const double pos = std::isfinite(seconds) ? std::clamp(seconds, 0.0, double(INT_MAX)) : 0.0;
    const int secs = int(pos);
    const int tenths = int((pos - secs) * 10.0);
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%02d.%1d", secs / 60, secs % 60, tenths);
    return text;
}

// "--speed X" after the link: X in the player's range, read as C reads numbers.
bool ReadSpeed(int argc, char** argv, double& speed) {
    if (argc == 3) return true;
    if (argc != 5 || std::strcmp(argv[3], "--speed") != 0) return false;
    char* end = nullptr;
    speed = std::strtod(argv[4], &end);
    return end != argv[4] && *end == '\0' && speed >= CReplayFile::kMinSpeed && speed <= CReplayFile::kMaxSpeed;
}

int RunPlayCommand(int argc, char** argv) {
    double speed = 1.0;
    if (argc < 3 || std::strcmp(argv[1], "--play") != 0 || !ReadSpeed(argc, argv, speed)) return Usage();
    const AudioLinkParts link = SplitAudioLink(QFile::decodeName(argv[2]));
    if (link.file.isEmpty()) return Usage();

    QCoreApplication app(argc, argv);
    platform::SetMessageSink(PrintMessage);
    CReplayReceiver receiver;
    int status = 1;
    theReplayFile.SetSpeed(speed);
    if (theReplayFile.Open(link.file) && theReplayFile.Play(&receiver, link.start)) {
        PlayWatch watch(app, link.end);
        status = app.exec();
    }
    theReplayFile.Close();  // the device goes before the application object
    platform::SetMessageSink({});
    return status;
}
