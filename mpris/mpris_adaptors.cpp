// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpris/mpris_adaptors.h"

#include "audio/replay_file.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_pService(service) {}

void MprisRootAdaptor::Raise() { m_pService->raise(); }

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_pService(service) {
    connect(service, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
}

double MprisPlayerAdaptor::minimumRate() const { return CReplayFile::kMinSpeed; }

double MprisPlayerAdaptor::maximumRate() const { return CReplayFile::kMaxSpeed; }
