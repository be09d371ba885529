// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpris/mpris_service.h"

#include "mpris/mpris_adaptors.h"
#include "session/playback_session.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QTimer>
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
QDBusConnection sessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return QDBusConnection::sessionBus();
    const QString userBus = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") || !QFileInfo::exists(userBus)) return QDBusConnection(QString());
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=") + userBus, QStringLiteral("parlotype-session"));
}

}  // namespace

MprisService::MprisService(PlaybackSession& playback, QObject* parent) : QObject(parent), m_playback(playback) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    connect(&m_playback, &PlaybackSession::stateChanged, this, &MprisService::checkSoon);
    connect(&m_playback, &PlaybackSession::speedChanged, this, &MprisService::checkSoon);
    connect(&m_playback, &PlaybackSession::fileChanged, this, &MprisService::checkSoon);
    connect(&m_playback, &PlaybackSession::positionJumped, this, [this] {
        m_jumped = true;
        checkSoon();
    });
}

MprisService::~MprisService() {
    if (!m_registered) return;
    m_bus.unregisterService(m_service);
    m_bus.unregisterObject(QLatin1String(kObjectPath));
}

bool MprisService::registerOnBus() {
    QDBusConnection bus = sessionBus();
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
    m_registered = true;
    m_last = current();
    return true;
}

// The reader's turn is a pause.
QString MprisService::playbackStatus() const {
    switch (m_playback.state()) {
    case PlaybackSession::State::Stopped:
        return QStringLiteral("Stopped");
    case PlaybackSession::State::Playing:
        return QStringLiteral("Playing");
    default:
        return QStringLiteral("Paused");
    }
}

qlonglong MprisService::position() const {
    return m_playback.isPlaying() ? qlonglong(std::llround(m_playback.position() * kMicro)) : 0;
}

double MprisService::rate() const { return m_playback.speed(); }

// A rate of 0 pauses, as the interface asks.
void MprisService::setRate(double rate) {
    if (rate == 0) return pause();
    m_playback.setSpeed(rate);
    checkChanges();
}

void MprisService::setTitle(const QString& title) {
    m_title = title;
    checkSoon();
}

// A track is one opened file; its id changes with the file.
QString MprisService::trackId() const {
    const QString file = m_playback.fileName();
    return QStringLiteral("/org/parlotype/track/%1").arg(qHash(file) & 0x7fffffff);
}

QVariantMap MprisService::metadata() const {
    QVariantMap map;
    if (!m_playback.isLoaded()) {
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    map.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(m_playback.fileName()).toString());
    map.insert(QStringLiteral("xesam:title"), m_title);
    const double length = m_playback.length();
    if (length > 0) map.insert(QStringLiteral("mpris:length"), qlonglong(std::llround(length * kMicro)));
    return map;
}

bool MprisService::canGoNext() const { return m_playback.isLoaded() && m_playback.itemCount() > 0; }

bool MprisService::canPlay() const { return m_playback.isLoaded(); }

void MprisService::playPause() {
    if (!m_playback.isPlaying()) return play();
    m_playback.togglePause();
    checkChanges();
}

void MprisService::play() {
    if (!m_playback.isPlaying())
        m_playback.start();
    else if (m_playback.state() != PlaybackSession::State::Playing)
        m_playback.togglePause();
    checkChanges();
}

void MprisService::pause() {
    if (m_playback.state() == PlaybackSession::State::Playing) m_playback.togglePause();
    checkChanges();
}

void MprisService::stop() {
    m_playback.stop();
    checkChanges();
}

void MprisService::next() {
    m_playback.nextItem();
    checkChanges();
}

void MprisService::previous() {
    m_playback.previousItem();
    checkChanges();
}

// Past the end of the file, Seek acts as Next: the next item plays, or the
// playback stops when there is none.
void MprisService::seek(qlonglong offset) {
    if (!m_playback.isPlaying() || jumpTo(m_playback.position() + double(offset) / kMicro)) return;
    if (!m_playback.nextItem()) m_playback.stop();
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
    const double length = m_playback.length();
    if (length > 0 && seconds >= length) return false;
    const double from = m_playback.position();
    const bool pastEnd = m_playback.jumpTo(seconds) && !m_playback.hasQueuedAudio();
    if (pastEnd) m_playback.jumpTo(from);  // a file of unknown length
    checkChanges();
    return !pastEnd;
}

void MprisService::raise() { emit raiseRequested(); }

MprisService::State MprisService::current() const {
    return {playbackStatus(), rate(), metadata(), canGoNext(), canPlay()};
}

void MprisService::checkSoon() {
    if (m_checkPending) return;
    m_checkPending = true;
    QTimer::singleShot(0, this, &MprisService::checkChanges);
}

void MprisService::checkChanges() {
    m_checkPending = false;
    if (!m_registered) return;
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
    const bool jumped = m_jumped;
    m_jumped = false;
    m_last = now;
    if (jumped) emit seeked(position());
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QLatin1String(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}
