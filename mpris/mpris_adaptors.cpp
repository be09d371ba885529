// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpris/mpris_adaptors.h"

#include "audio/file_player.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {}

void MprisRootAdaptor::Raise() { m_service->raise(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {
    connect(service, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
}

double MprisPlayerAdaptor::minimumRate() const { return FilePlayer::kMinSpeed; }

double MprisPlayerAdaptor::maximumRate() const { return FilePlayer::kMaxSpeed; }
