// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MprisService: the player as the desktop's media controls see it, through
// the MPRIS2 interfaces on the session bus as org.mpris.MediaPlayer2.parlotype
// (the panel's sound menu, media keys, playerctl). Commands go to the
// program's own commands; state is read from the file player and the view
// and reported with PropertiesChanged whenever it changes. Without a
// session bus the service stays unregistered and the program runs as before.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class CParlotypeView;

class MprisService : public QObject {
    Q_OBJECT
public:
    // `runCommand` runs a command by its ID as the menu would.
    MprisService(CParlotypeView* view, std::function<void(int)> runCommand, QObject* parent = nullptr);
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

signals:
    void seeked(qlonglong position);

private:
    struct State {
        QString status;
        double rate = 1;
        QVariantMap metadata;
        bool canGoNext = false;
        bool canPlay = false;
        int jumps = 0;  // the view's count of position jumps
        bool operator==(const State&) const = default;
    };
    State current() const;
    void checkChanges();  // on idle: reports what changed since the last check
    bool jumpTo(double seconds);
    QString trackId() const;

    QDBusConnection m_bus{QString()};  // not connected until registered
    CParlotypeView* m_pView;
    std::function<void(int)> m_runCommand;
    State m_last;
    bool m_bRegistered = false;
    QString m_service;  // the bus name taken
};
