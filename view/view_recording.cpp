// SPDX-License-Identifier: GPL-3.0-or-later
// Record and Play Recorded: the recording state machine m_nRecState, its
// update rules and the "** Recording **" pane, and the notifications of the
// recorder (InData) and the recording player (OutDone, OutClose), which
// both devices post to the view. Recording and replay never touch the file
// player, so either runs while a file plays.
//
// m_nRecState: 0 nothing to replay, 1 a recording was started, 2 a recording
// is held, 3 the recording is being replayed.
#include "view/parlotype_view.h"

#include "audio/recorder.h"
#include "audio/replay_buffer.h"
#include "audio/replay_file.h"
#include "platform/wave_device.h"

#include <QCoreApplication>

namespace {

constexpr int kRecordRate = 22050;
constexpr int kRecordMode = 2;  // keep the samples
// A recording ends by itself once a returned buffer finds more than this
// many samples kept: at 2501 blocks, 5,002,000 samples (about 227 s).
constexpr int kMaxRecSamples = 5000000;

}  // namespace

// A stopped recording player posts the buffers it held, and its close, before
// Stop returns. They are dispatched here, at once, so that they are counted
// against the device that was stopped: left in the queue, they would reach a
// replay started before the event loop runs again and end it. (The recorder
// takes back its own buffers when it stops.)
void CParlotypeView::TakeBackStoppedBuffers() {
    for (QEvent::Type type : {platform::WaveEvent::OutDone, platform::WaveEvent::OutClose})
        QCoreApplication::sendPostedEvents(this, type);
}

// Joins the recorder's blocks into m_recSamples, replacing the last join.
void CParlotypeView::CollectRecording() {
    m_recSamples = theRecorder.GetSamples();
}

// Hands the recording player the next part of the recording (at most one
// buffer), if it takes it.
void CParlotypeView::QueueRecordedPart() {
    const char* from = reinterpret_cast<const char*>(m_recSamples.data() + m_nReplayPos);
    m_nReplayPos += theReplayBuffer.Write(from, (RecordedSamples() - m_nReplayPos) * 2) / 2;
}

void CParlotypeView::OnAudioRecord() {
    if (theRecorder.IsRecording()) {
        theRecorder.Stop();
        CollectRecording();
        m_nRecState = 2;
    } else if (theReplayBuffer.IsOpen()) {
        theReplayBuffer.Stop();
        m_nRecState = 2;
        TakeBackStoppedBuffers();
    } else {
        // The last joined recording stays until the next collect.
        theRecorder.Clear();
        theRecorder.Start(this, kRecordRate, kRecordMode);
        m_nRecState = 1;  // also when the device failed to open
    }
}

void CParlotypeView::OnUpdateAudioRecord(CCmdUI* pCmdUI) {
    pCmdUI->Enable(true);
    pCmdUI->SetCheck(theRecorder.IsRecording() ? 1 : 0);
}

void CParlotypeView::OnAudioPlayrec() {
    if (theRecorder.IsRecording()) {
        theRecorder.Stop();
        CollectRecording();
        m_nRecState = 2;
    }
    if (m_nRecState == 3) {
        // Nothing more is queued: the buffers with the device play out, the
        // player closes and OutClose brings the state back to 2.
        m_nReplayPos = RecordedSamples();
        return;
    }
    CollectRecording();
    m_nRecState = RecordedSamples() > 0 ? 2 : 0;
    if (RecordedSamples() <= 0) return;
    // A device that does not open was reported; the recording stays for another try.
    if (!theReplayBuffer.Open(this, kRecordRate)) return;
    m_nReplayPos = 0;
    QueueRecordedPart();
    if (m_nReplayPos < RecordedSamples()) QueueRecordedPart();
    m_nRecState = 3;
}

void CParlotypeView::OnUpdateAudioPlayrec(CCmdUI* pCmdUI) {
    pCmdUI->Enable(m_nRecState != 0);
    pCmdUI->SetCheck(theReplayBuffer.IsOpen() ? 1 : 0);
}

void CParlotypeView::OnWimData(platform::WaveEvent*) {
    // The limit is tested before the returned buffer is stored.
    if (theRecorder.GetCount() <= kMaxRecSamples)
        theRecorder.OnData();
    else
        theRecorder.Stop();
}

// A buffer of the recording player runs the replay step, whatever the state:
// after Record stops a replay (state 2) its buffers still come back here, and
// they must not be counted as the file player's.
void CParlotypeView::OnWomDone(platform::WaveEvent* pEvent) {
    if (!theReplayBuffer.Owns(pEvent->header())) {
        theReplayFile.OnBufferDone();
        return;
    }
    theReplayBuffer.OnDone();
    if (m_nReplayPos < RecordedSamples() && m_nRecState == 3) QueueRecordedPart();
}

void CParlotypeView::OnWomClose(platform::WaveEvent*) { m_nRecState = 2; }
