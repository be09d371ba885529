// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MprisService: the player as the desktop's media controls see it, through
// the MPRIS2 interfaces on the session bus as org.mpris.MediaPlayer2.parlotype
// (the panel's sound menu, media keys, playerctl). Requests go to the
// playback session; its state is reported with PropertiesChanged whenever
// the session signals a change. Without a session bus the service stays
// unregistered and the program runs as before.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

class PlaybackSession;

class MprisService : public QObject {
    Q_OBJECT
public:
    explicit MprisService(PlaybackSession& playback, QObject* parent = nullptr);
    ~MprisService() override;

    // Registers on the session bus as org.mpris.MediaPlayer2.parlotype, or, when
    // another instance has that name, as ...parlotype.instance<pid>; false
    // when there is no bus or neither name can be had.
    bool registerOnBus();

    // org.mpris.MediaPlayer2.Player, as the adaptor offers it.
    QString playbackStatus() const;
    qlonglong position() const;  // microseconds of file time
    double rate() const;
    void setRate(double rate);
    QVariantMap metadata() const;
    bool canGoNext() const;
    bool canPlay() const;
    void playPause();
    void play();
    void pause();
    void stop();
    void next();
    void previous();
    void seek(qlonglong offset);
    void setPosition(const QString& trackId, qlonglong position);
    void raise();

    // The title of the page shown, reported as the track's.
    void setTitle(const QString& title);

signals:
    void seeked(qlonglong position);
    void raiseRequested();

private:
    struct State {
        QString status;
        double rate = 1;
        QVariantMap metadata;
        bool canGoNext = false;
        bool canPlay = false;
        bool operator==(const State&) const = default;
    };
    State current() const;
    void checkChanges();  // reports what changed since the last check
    void checkSoon();     // once control is back in the event loop
    bool jumpTo(double seconds);
    QString trackId() const;

    QDBusConnection m_bus{QString()};  // not connected until registered
    PlaybackSession& m_playback;
    QString m_title;
    State m_last;
    bool m_registered = false;
    bool m_checkPending = false;
    bool m_jumped = false;  // the position jumped since the last check
    QString m_service;  // the bus name taken
};
