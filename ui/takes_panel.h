// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// View > Takes: a dock with the takes of the current item. Every take the
// recording session finishes is saved in the page's TakeStore and compared
// with the model (off the GUI thread) for the comparison pane. The list plays
// a take, the model then the take, deletes a take or shows its file. Audio >
// Shadow plays the current item while recording, then compares the take.

#include "compare/compare_job.h"
#include "compare/script_item.h"

#include <QDockWidget>
#include <functional>
#include <memory>
#include <vector>

class ComparisonPane;
class PlaybackSession;
class QListWidget;
class QPushButton;
class RecordingSession;
class TakeStore;

class TakesPanel : public QDockWidget {
    Q_OBJECT
public:
    // pagePath: the path of the page shown (empty when it is no local file).
    TakesPanel(PlaybackSession& playback, RecordingSession& recording, ComparisonPane& pane,
               std::function<QString()> pagePath, QWidget* parent);
    ~TakesPanel() override;

    // Audio > Shadow: starts playing the current item and recording; the take
    // ends with the item. False, with nothing started, without a current item.
    bool shadow();
    bool isShadowing() const { return m_shadowing; }
    bool canShadow() const;
    QStringList takes() const { return m_takes; }

signals:
    void message(const QString& text);  // for the status bar
    void compared();                    // the comparison pane shows a new comparison

private:
    void saveTake(const QString& item, const std::vector<int16_t>& samples);
    void refresh();
    void compareSelected();
    void playSelected(bool modelFirst);
    void deleteSelected();
    void revealSelected();
    void playModelFrom(double seconds);
    void playTakeFrom(double seconds);
    TakeStore* store();
    const ModelItem* currentModelItem();
    QString selectedTake() const;

    PlaybackSession& m_playback;
    RecordingSession& m_recording;
    ComparisonPane& m_pane;
    std::function<QString()> m_pagePath;
    CompareJob m_job;
    std::unique_ptr<TakeStore> m_store;
    QString m_storePage;  // the page m_store and m_items were made for
    std::vector<ModelItem> m_items;
    QString m_item;  // the current item
    QStringList m_takes;
    QString m_compared;  // the take the pane shows or is about to
    std::vector<int16_t> m_queued;  // the take to play after the model
    bool m_shadowing = false;
    double m_shadowEnd = 0;  // the shadowed item's end in the file (seconds; 0: none)
    QListWidget* m_list;
    QPushButton *m_play, *m_modelThenTake, *m_delete, *m_reveal;
};
