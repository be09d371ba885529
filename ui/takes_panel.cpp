// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/takes_panel.h"

#include "audio/pcm_reader.h"
#include "session/playback_session.h"
#include "session/recording_session.h"
#include "takes/take_store.h"
#include "ui/comparison_pane.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

// A whole take as 16-bit samples at its own rate.
class SampleSink : public PcmSink {
public:
    void start(int rate, size_t expected) override { m_rate = rate, m_samples.reserve(expected); }
    void write(const float* s, size_t count) override {
        for (size_t i = 0; i < count; ++i) m_samples.push_back(int16_t(std::lround(std::clamp(s[i], -1.0f, 1.0f) * 32767)));
    }
    int m_rate = 0;
    std::vector<int16_t> m_samples;
};

std::vector<int16_t> Pcm16(const std::vector<float>& s, size_t from) {
    std::vector<int16_t> out;
    for (size_t n = from; n < s.size(); ++n) out.push_back(int16_t(std::lround(std::clamp(s[n], -1.0f, 1.0f) * 32767)));
    return out;
}

}  // namespace

TakesPanel::TakesPanel(PlaybackSession& playback, RecordingSession& recording, ComparisonPane& pane,
                       std::function<QString()> pagePath, QWidget* parent)
    : QDockWidget(tr("Takes"), parent), m_playback(playback), m_recording(recording), m_pane(pane),
      m_pagePath(std::move(pagePath)), m_list(new QListWidget) {
    setObjectName(QStringLiteral("takesPanel"));
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->addWidget(m_list);
    auto* buttons = new QHBoxLayout;
    m_play = new QPushButton(tr("Play"));
    m_modelThenTake = new QPushButton(tr("Model, Then Take"));
    m_delete = new QPushButton(tr("Delete"));
    m_reveal = new QPushButton(tr("Show File"));
    for (QPushButton* b : {m_play, m_modelThenTake, m_delete, m_reveal}) buttons->addWidget(b);
    layout->addLayout(buttons);
    setWidget(body);

    connect(m_play, &QPushButton::clicked, this, [this] { playSelected(false); });
    connect(m_modelThenTake, &QPushButton::clicked, this, [this] { playSelected(true); });
    connect(m_delete, &QPushButton::clicked, this, &TakesPanel::deleteSelected);
    connect(m_reveal, &QPushButton::clicked, this, &TakesPanel::revealSelected);
    connect(m_list, &QListWidget::currentRowChanged, this, &TakesPanel::compareSelected);
    connect(&m_recording, &RecordingSession::takeFinished, this, &TakesPanel::saveTake);
    connect(&m_recording, &RecordingSession::samplesFinished, this, [this] {
        if (!m_queued.empty()) m_recording.playSamples(std::exchange(m_queued, {}), RecordingSession::kRate);
    });
    connect(&m_playback, &PlaybackSession::currentItemChanged, this, [this](const QString& name) {
        if (name.isEmpty() || name == m_item) return;
        m_item = name;
        refresh();
        // The model is analysed while the learner listens and speaks.
        if (const ModelItem* item = currentModelItem()) m_job.prepare({item->audio, item->start, item->end, item->text});
    });
    // Shadowing ends with the item: past its end time, before a turn of the
    // drill begins there and takes the recording over, or when playing stops.
    auto endShadow = [this] {
        m_shadowing = false;
        if (m_recording.isRecording()) m_recording.toggleRecord();
    };
    connect(&m_playback, &PlaybackSession::positionChanged, this, [this, endShadow](double seconds) {
        if (m_shadowing && m_shadowEnd > 0 && seconds > m_shadowEnd) endShadow();
    });
    connect(&m_playback, &PlaybackSession::stateChanged, this, [this, endShadow](PlaybackSession::State state) {
        if (m_shadowing && state == PlaybackSession::State::Stopped) endShadow();
    });
    connect(&m_job, &CompareJob::compared, this, [this](const QString& take, std::shared_ptr<const Comparison> c) {
        if (take != m_compared) return;
        m_pane.setComparison(std::move(c));
        emit compared();
    });
    connect(&m_job, &CompareJob::failed, this, [this](const QString& take, const QString& error) {
        if (take == m_compared) m_pane.setMessage(error);
    });
    connect(&m_pane, &ComparisonPane::playModelRequested, this, &TakesPanel::playModelFrom);
    connect(&m_pane, &ComparisonPane::playTakeRequested, this, &TakesPanel::playTakeFrom);
    refresh();
}

TakesPanel::~TakesPanel() = default;

// The store of the page shown, made anew when another page is shown.
TakeStore* TakesPanel::store() {
    const QString page = m_pagePath();
    if (page != m_storePage || !m_store) {
        m_storePage = page;
        m_store = page.isEmpty() ? nullptr : TakeStore::forScript(page);
        QString error;
        if (page.isEmpty() || !readModelItems(page, m_items, error)) m_items.clear();
    }
    return m_store.get();
}

const ModelItem* TakesPanel::currentModelItem() {
    store();
    const int k = findModelItem(m_items, m_item);
    return k >= 0 && !m_item.isEmpty() ? &m_items[size_t(k)] : nullptr;
}

void TakesPanel::saveTake(const QString& item, const std::vector<int16_t>& samples) {
    TakeStore* takes = store();
    if (!takes) {
        emit message(tr("The take was not kept: the page shown is no local file"));
        return;
    }
    QString error;
    const QString path = takes->save(item, samples, RecordingSession::kRate, error);
    if (path.isEmpty()) {
        emit message(error);
        return;
    }
    if (!item.isEmpty()) m_item = item;
    refresh();
    m_list->setCurrentRow(int(m_takes.indexOf(path)));
}

void TakesPanel::refresh() {
    TakeStore* takes = store();
    m_takes = takes ? takes->takes(m_item) : QStringList();
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (const QString& take : m_takes)
        m_list->addItem(TakeStore::timeOf(take).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    setWindowTitle(m_item.isEmpty() ? tr("Takes") : tr("Takes of %1").arg(m_item));
    for (QPushButton* b : {m_play, m_modelThenTake, m_delete, m_reveal}) b->setEnabled(!m_takes.isEmpty());
    if (!m_takes.isEmpty()) m_list->setCurrentRow(int(m_takes.size()) - 1);
    compareSelected();
}

QString TakesPanel::selectedTake() const { return m_takes.value(m_list->currentRow()); }

void TakesPanel::compareSelected() {
    const QString take = selectedTake();
    if (take.isEmpty() || take == m_compared) return;
    m_compared = take;
    const ModelItem* item = currentModelItem();
    if (!item) {
        m_pane.setMessage(tr("This take belongs to no item of the page: there is no model to compare it with."));
        return;
    }
    m_pane.setMessage(tr("Comparing..."));
    m_job.compare({item->audio, item->start, item->end, item->text}, take);
}

void TakesPanel::playSelected(bool modelFirst) {
    SampleSink sink;
    if (readMonoPcm(selectedTake(), sink) != PcmReadResult::Ok) return;
    std::shared_ptr<const Comparison> c = m_pane.comparison();
    if (modelFirst && c && m_compared == selectedTake()) {
        m_queued = sink.m_samples;
        m_recording.playSamples(Pcm16(c->modelSamples, 0), Comparison::kRate);
    } else {
        m_queued.clear();
        m_recording.playSamples(sink.m_samples, sink.m_rate);
    }
}

void TakesPanel::playModelFrom(double seconds) {
    if (std::shared_ptr<const Comparison> c = m_pane.comparison()) {
        m_queued.clear();
        m_recording.playSamples(Pcm16(c->modelSamples, size_t(seconds * Comparison::kRate)), Comparison::kRate);
    }
}

void TakesPanel::playTakeFrom(double seconds) {
    if (std::shared_ptr<const Comparison> c = m_pane.comparison()) {
        m_queued.clear();
        m_recording.playSamples(Pcm16(c->takeSamples, size_t(seconds * Comparison::kRate)), Comparison::kRate);
    }
}

void TakesPanel::deleteSelected() {
    const QString take = selectedTake();
    if (take.isEmpty() || !store() || !store()->remove(take)) return;
    if (take == m_compared) m_compared.clear(), m_pane.setMessage(tr("The take was deleted."));
    refresh();
}

void TakesPanel::revealSelected() {
    const QString take = selectedTake();
    if (!take.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(take).absolutePath()));
}

bool TakesPanel::canShadow() const { return !m_item.isEmpty() && !m_recording.isRecording() && !m_shadowing; }

bool TakesPanel::shadow() {
    const ModelItem* item = currentModelItem();
    if (!item || !canShadow()) return false;
    m_playback.stop();
    m_recording.setCurrentItem(m_item);
    m_recording.toggleRecord();
    if (!m_recording.isRecording()) return false;
    // The file as the player has it open, so that it is not opened anew.
    const bool loaded = QFileInfo(m_playback.fileName()).canonicalFilePath() == QFileInfo(item->audio).canonicalFilePath();
    QString link = (loaded ? m_playback.fileName() : item->audio) + u'#' + QString::number(item->start);
    if (item->end > 0) link += u'#' + QString::number(item->end);
    if (!m_playback.playLink(link, QUrl::fromLocalFile(m_storePage).toString())) {
        m_recording.toggleRecord();
        return false;
    }
    m_shadowing = true;
    m_shadowEnd = item->end;
    emit message(tr("Shadowing: speak along with the model. Wear headphones, so that the recording hears only you."));
    return true;
}
