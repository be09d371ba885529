// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "app/app_identity.h"
#include "app/practice_settings.h"
#include "app/script_index.h"
#include "audio/file_player.h"
#include "audio/recorder.h"
#include "audio/recording_player.h"
#include "formats/export_command.h"
#include "mpris/mpris_service.h"
#include "platform/wave_device.h"
#include "platform/web_view.h"
#include "session/playback_session.h"
#include "session/recording_session.h"
#include "ui/main_window.h"
#include "ui/script_view.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>

namespace {

// A script named on the command line or chosen in a dialog, as a full path;
// a file URL becomes its path, another address with a scheme stays as it is.
QString fullPath(const QString& path) {
    if (!path.contains(QLatin1String("://"))) return QFileInfo(path).absoluteFilePath();
    const QUrl url(path);
    return url.isLocalFile() ? url.toLocalFile() : path;
}

}  // namespace

Application::Application(int& argc, char** argv, platform::AudioBackend* backend) {
    Q_INIT_RESOURCE(parlotype);  // the resources live in a static library
    setApplicationIdentity();
    if (!QCoreApplication::instance()) {
        platform::registerWebSchemes();
        m_ownApp = std::make_unique<QApplication>(argc, argv);  // takes Qt's own options out of argv
    }
    for (int i = 1; i < argc; ++i) m_args << QString::fromLocal8Bit(argv[i]);
    if (!backend) m_ownBackend = platform::createAudioBackend();
    m_backend = backend ? backend : m_ownBackend.get();
    m_filePlayer = std::make_unique<FilePlayer>(*m_backend);
    m_recorder = std::make_unique<Recorder>(*m_backend);
    m_recordingPlayer = std::make_unique<RecordingPlayer>(*m_backend);
    m_playback = std::make_unique<PlaybackSession>(*m_filePlayer);
    m_recording = std::make_unique<RecordingSession>(*m_recorder, *m_recordingPlayer);
    const auto tell = [this](const QString& text) { m_messages.show(text); };
    QObject::connect(m_playback.get(), &PlaybackSession::failed, tell);
    QObject::connect(m_recording.get(), &RecordingSession::failed, tell);
    // The drill's turns and the item sounding make the recording's takes.
    QObject::connect(m_playback.get(), &PlaybackSession::currentItemChanged, m_recording.get(), &RecordingSession::setCurrentItem);
    QObject::connect(m_playback.get(), &PlaybackSession::turnStarted, m_recording.get(), &RecordingSession::startTurn);
    QObject::connect(m_playback.get(), &PlaybackSession::turnEnded, m_recording.get(), &RecordingSession::endTurn);
}

// The devices belong to the sound server connection of this application
// object: they close while it still exists.
Application::~Application() {
    closeAudio();
    m_mpris.reset();
    m_window.reset();
}

void Application::closeAudio() {
    // A take being recorded is kept: ending the recording finishes and saves it.
    if (m_recording->isRecording()) m_recording->toggleRecord();
    m_filePlayer->close();
    m_recorder->stop();
    m_recordingPlayer->stop();
}

bool Application::start() {
    m_recentFiles.load();
    m_scriptIndex = findScriptIndex(QCoreApplication::applicationFilePath(), userScriptFolder());
    m_window = std::make_unique<MainWindow>(*m_playback, *m_recording, m_messages, m_scriptIndex);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_window.get(), [this] { closeAudio(); });
    QObject::connect(m_window.get(), &MainWindow::openRequested, m_window.get(), [this](const QString& path) { openScript(path); });
    m_window->setRecentFiles(m_recentFiles.files());
    restorePractice(*m_playback, *m_window->scriptView());
    keepPractice(*m_playback, *m_window->scriptView());

    m_mpris = std::make_unique<MprisService>(*m_playback);
    platform::WebView* web = m_window->scriptView()->webView();
    QObject::connect(web, &QWebEngineView::titleChanged, m_mpris.get(), &MprisService::setTitle);
    QObject::connect(m_mpris.get(), &MprisService::raiseRequested, m_window.get(), [window = m_window.get()] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    m_mpris->registerOnBus();  // without a session bus, none

    // The command line: the first argument that is not an option names a script.
    const auto script = std::find_if(m_args.begin(), m_args.end(),
                                     [](const QString& a) { return !a.startsWith(QLatin1Char('-')); });
    if (script != m_args.end()) {
        if (!openScript(*script)) return false;
    } else {
        m_window->showScript(QString());
    }
    m_window->show();
    return true;
}

int Application::run() { return start() ? QApplication::exec() : 1; }

// Subtitles and labels open as the script page made from them.
bool Application::openScript(const QString& path) {
    const QString full = fullPath(path);
    const QString page = isTimedTextPath(full) ? m_window->pageForTimedText(full) : full;
    if (page.isEmpty()) return false;
    m_recentFiles.add(full);
    m_window->setRecentFiles(m_recentFiles.files());
    m_window->showScript(page, full);
    return true;
}
