// SPDX-License-Identifier: GPL-3.0-or-later
// Marks: time stamps of the file that plays, each in the form of an audio
// link with a start time. They collect in m_marks until the program ends;
// the Marks dialog shows them and can empty the list.
#include "view/parlotype_view.h"

#include "audio/replay_file.h"
#include "view/marks_dlg.h"
#include "script/time_text.h"

// A paused playback still counts as playing, so marks can be taken in a pause.
void CParlotypeView::OnAudioMark() {
    if (!theReplayFile.IsPlaying()) return;
    m_marks.append(markText(theReplayFile.GetFileName(), theReplayFile.GetPosition()));
}

void CParlotypeView::OnViewMarks() {
    CMarksDlg dlg(window());
    dlg.m_strText.clear();
    for (const QString& mark : m_marks) dlg.m_strText += mark;
    // The text is read-only: at OK it is either the whole list or, after Clear, empty.
    if (dlg.DoModal() == QDialog::Accepted && dlg.m_strText.isEmpty()) m_marks.clear();
}
