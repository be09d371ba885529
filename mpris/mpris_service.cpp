// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpris/mpris_service.h"

#include "audio/replay_file.h"
#include "mpris/mpris_adaptors.h"
#include "platform/web_view.h"
#include "view/command_ids.h"
#include "view/parlotype_view.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QAbstractEventDispatcher>
#include <QUrl>
#include <cmath>

namespace {

constexpr char kServiceName[] = "org.mpris.MediaPlayer2.parlotype";
constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr double kMicro = 1e6;

// The session's own bus: the address the session gives, else the user bus
// of the runtime folder. Never one started for the program (the D-Bus
// library would start a bus on the X display when the session has none).
QDBusConnection SessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return QDBusConnection::sessionBus();
    const QString userBus = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") || !QFileInfo::exists(userBus)) return QDBusConnection(QString());
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=") + userBus, QStringLiteral("parlotype-session"));
}

}  // namespace

MprisService::MprisService(CParlotypeView* view, std::function<void(int)> runCommand, QObject* parent)
    : QObject(parent), m_pView(view), m_runCommand(std::move(runCommand)) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
    if (!m_bRegistered) return;
    m_bus.unregisterService(m_service);
    m_bus.unregisterObject(QLatin1String(kObjectPath));
}

bool MprisService::registerOnBus() {
    QDBusConnection bus = SessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(QLatin1String(kObjectPath), this, QDBusConnection::ExportAdaptors)) return false;
    // A later instance takes a name of its own, as the media controls expect.
    m_service = QLatin1String(kServiceName);
    if (!bus.registerService(m_service)) {
        m_service += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(m_service)) {
            bus.unregisterObject(QLatin1String(kObjectPath));
            return false;
        }
    }
    m_bus = bus;
    m_bRegistered = true;
    m_last = current();
    // Checked whenever the event loop goes idle, as the window's commands are
    // updated: at once after any change, and never while nothing happens.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &MprisService::checkChanges);
    return true;
}

QString MprisService::playbackStatus() const {
    if (!theReplayFile.IsPlaying()) return QStringLiteral("Stopped");
    return theReplayFile.IsPaused() ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

qlonglong MprisService::position() const {
    return theReplayFile.IsPlaying() ? qlonglong(std::llround(theReplayFile.GetPosition() * kMicro)) : 0;
}

double MprisService::rate() const { return theReplayFile.GetSpeed(); }

// A rate of 0 pauses, as the interface asks.
void MprisService::setRate(double rate) {
    if (rate == 0) return pause();
    m_pView->SetSpeed(rate);
    checkChanges();
}

// A track is one opened file; its id changes with the file.
QString MprisService::trackId() const {
    const QString file = theReplayFile.GetFileName();
    return QStringLiteral("/org/parlotype/track/%1").arg(qHash(file) & 0x7fffffff);
}

QVariantMap MprisService::metadata() const {
    QVariantMap map;
    if (!theReplayFile.IsLoaded()) {
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    map.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(theReplayFile.GetFileName()).toString());
    map.insert(QStringLiteral("xesam:title"), m_pView->GetWebView()->title());
    const double length = theReplayFile.GetLength();
    if (length > 0) map.insert(QStringLiteral("mpris:length"), qlonglong(std::llround(length * kMicro)));
    return map;
}

bool MprisService::canGoNext() const { return theReplayFile.IsLoaded() && m_pView->ItemCount() > 0; }

bool MprisService::canPlay() const { return theReplayFile.IsLoaded() != 0; }

void MprisService::playPause() {
    if (!theReplayFile.IsPlaying()) return play();
    m_runCommand(ID_AUDIO_PAUSE);
    checkChanges();
}

void MprisService::play() {
    if (!theReplayFile.IsPlaying())
        m_runCommand(ID_AUDIO_START);
    else if (theReplayFile.IsPaused())
        m_runCommand(ID_AUDIO_PAUSE);
    checkChanges();
}

void MprisService::pause() {
    if (theReplayFile.IsPlaying() && !theReplayFile.IsPaused()) m_runCommand(ID_AUDIO_PAUSE);
    checkChanges();
}

void MprisService::stop() {
    m_runCommand(ID_AUDIO_STOP);
    checkChanges();
}

void MprisService::next() {
    m_runCommand(ID_AUDIO_NEXT_ITEM);
    checkChanges();
}

void MprisService::previous() {
    m_runCommand(ID_AUDIO_PREV_ITEM);
    checkChanges();
}

// Past the end of the file, Seek acts as Next: the next item plays, or the
// playback stops when there is none.
void MprisService::seek(qlonglong offset) {
    if (!theReplayFile.IsPlaying() || jumpTo(theReplayFile.GetPosition() + double(offset) / kMicro)) return;
    const int jumps = m_pView->positionJumps();
    m_runCommand(ID_AUDIO_NEXT_ITEM);
    if (m_pView->positionJumps() == jumps) m_runCommand(ID_AUDIO_STOP);
    checkChanges();
}

// Ignored unless `trackId` is the file playing and the position within it, as
// the interface asks.
void MprisService::setPosition(const QString& id, qlonglong pos) {
    if (id == trackId() && pos >= 0) jumpTo(double(pos) / kMicro);
}

// Plays on from `seconds`; false, and nothing moves, when that is past the end.
bool MprisService::jumpTo(double seconds) {
    seconds = std::max(seconds, 0.0);
    const double length = theReplayFile.GetLength();
    if (length > 0 && seconds >= length) return false;
    const double from = theReplayFile.GetPosition();
    const bool pastEnd = m_pView->jumpTo(seconds) && !theReplayFile.HasQueuedAudio();
    if (pastEnd) m_pView->jumpTo(from);  // a file of unknown length
    checkChanges();
    return !pastEnd;
}

void MprisService::raise() {
    QWidget* window = m_pView->window();
    window->show();
    window->raise();
    window->activateWindow();
}

MprisService::State MprisService::current() const {
    return {playbackStatus(), rate(), metadata(), canGoNext(), canPlay(), m_pView->positionJumps()};
}

void MprisService::checkChanges() {
    if (!m_bRegistered) return;
    const State now = current();
    QVariantMap changed;
    if (now.status != m_last.status) changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    if (now.rate != m_last.rate) changed.insert(QStringLiteral("Rate"), now.rate);
    if (now.metadata != m_last.metadata) changed.insert(QStringLiteral("Metadata"), now.metadata);
    if (now.canGoNext != m_last.canGoNext) {
        changed.insert(QStringLiteral("CanGoNext"), now.canGoNext);
        changed.insert(QStringLiteral("CanGoPrevious"), now.canGoNext);
    }
    if (now.canPlay != m_last.canPlay) {
        for (const char* name : {"CanPlay", "CanPause", "CanSeek"}) changed.insert(QLatin1String(name), now.canPlay);
    }
    const bool jumped = now.jumps != m_last.jumps;
    m_last = now;
    if (jumped) emit seeked(position());
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}
