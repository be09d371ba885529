// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Application: owns and wires everything the window needs: the QApplication
// (unless one exists already, as in tests), the sound backend, the players,
// the playback and recording sessions, the main window, the desktop's media
// controls, the recent files and the messages to the user; runs the
// start-up sequence.

#include "app/recent_files.h"
#include "platform/message_box.h"

#include <QStringList>
#include <memory>

class FilePlayer;
class MainWindow;
class MprisService;
class PlaybackSession;
class QApplication;
class Recorder;
class RecordingPlayer;
class RecordingSession;
namespace platform {
class AudioBackend;
}

class Application {
public:
    // Registers the web schemes and makes the QApplication from argc/argv
    // when none exists yet. Arguments after argv[0] are the command line.
    // `backend` plays and records (not owned); null: the one the environment
    // chooses (platform::createAudioBackend).
    Application(int& argc, char** argv, platform::AudioBackend* backend = nullptr);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up: the window, the command line (a script path opens it; none
    // shows the home page), the window shown. False ends the program.
    bool start();
    // start(), then the event loop; the program's exit code.
    int run();

    bool openScript(const QString& path);
    // The page Go Home and "index:" lead to.
    QString scriptIndex() const { return m_scriptIndex; }

    MainWindow* window() const { return m_window.get(); }
    PlaybackSession& playback() const { return *m_playback; }
    RecordingSession& recording() const { return *m_recording; }
    // Where errors are told; tests give it a sink before start().
    platform::Messages& messages() { return m_messages; }

private:
    void closeAudio();

    std::unique_ptr<QApplication> m_ownApp;
    QStringList m_args;
    QString m_scriptIndex;
    platform::Messages m_messages;
    std::unique_ptr<platform::AudioBackend> m_ownBackend;
    platform::AudioBackend* m_backend;
    std::unique_ptr<FilePlayer> m_filePlayer;
    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<RecordingPlayer> m_recordingPlayer;
    std::unique_ptr<PlaybackSession> m_playback;
    std::unique_ptr<RecordingSession> m_recording;
    RecentFiles m_recentFiles;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<MprisService> m_mpris;  // gone before the window
};
