// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/practice_settings.h"

#include "session/playback_session.h"
#include "ui/script_view.h"

#include <QSettings>

namespace {

const QString kSpeedKey = QStringLiteral("Practice/Speed");
const QString kRepeatKey = QStringLiteral("Practice/Repeat");
const QString kPauseAfterKey = QStringLiteral("Practice/PauseAfterItem");
const QString kFollowKey = QStringLiteral("Practice/FollowPage");

}  // namespace

void restorePractice(PlaybackSession& playback, ScriptView& view) {
    const QSettings settings;
    const double speed = settings.value(kSpeedKey, 1.0).toDouble();
    if (speed >= FilePlayer::kMinSpeed && speed <= FilePlayer::kMaxSpeed) playback.setSpeed(speed);
    playback.setRepeat(settings.value(kRepeatKey, false).toBool());
    playback.setPauseAfterItem(settings.value(kPauseAfterKey, false).toBool());
    view.setFollowPage(settings.value(kFollowKey, true).toBool());
}

void keepPractice(PlaybackSession& playback, ScriptView& view) {
    QObject::connect(&playback, &PlaybackSession::speedChanged, &playback,
                     [](double speed) { QSettings().setValue(kSpeedKey, speed); });
    QObject::connect(&playback, &PlaybackSession::practiceChanged, &playback, [&playback] {
        QSettings settings;
        settings.setValue(kRepeatKey, playback.repeat());
        settings.setValue(kPauseAfterKey, playback.pauseAfterItem());
    });
    QObject::connect(&view, &ScriptView::followPageChanged, &view,
                     [](bool on) { QSettings().setValue(kFollowKey, on); });
}
