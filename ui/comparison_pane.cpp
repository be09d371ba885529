// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/comparison_pane.h"

#include "align/features.h"
#include "compare/pitch_track.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kLineHeight = 18;  // the words above, the feedback below
constexpr float kPitchRange = 12;  // semitones above and below the median shown

// The loudest sample of s[from, to), for the waveform's envelope.
float peakOf(const std::vector<float>& s, long from, long to) {
    float peak = 0;
    for (long n = std::max(0L, from); n < std::min(long(s.size()), to); ++n) peak = std::max(peak, std::abs(s[size_t(n)]));
    return peak;
}

}  // namespace

ComparisonPane::ComparisonPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("comparisonPane"));
    setMinimumHeight(150);
    setMessage(tr("Record a take of an item (Record, Shadow or the drill) to compare it with the model."));
}

void ComparisonPane::setComparison(std::shared_ptr<const Comparison> comparison) {
    m_comparison = std::move(comparison);
    m_message.clear();
    update();
}

void ComparisonPane::setMessage(const QString& text) {
    m_comparison.reset();
    m_message = text;
    update();
}

double ComparisonPane::modelSecondsAt(int x) const {
    const double seconds = double(m_comparison->modelSamples.size()) / Comparison::kRate;
    return std::clamp(double(x) / std::max(1, width()), 0.0, 1.0) * seconds;
}

// The take's frame lined up with the model at x; the nearest one where the
// model is outside the speech.
int ComparisonPane::takeFrameAt(int x) const {
    const std::vector<int>& map = m_comparison->takeFrameOf;
    const int f = std::clamp(int(modelSecondsAt(x) / kFrameSeconds), 0, int(map.size()) - 1);
    for (int d = 0; d < int(map.size()); ++d) {
        if (f - d >= 0 && map[size_t(f - d)] >= 0) return map[size_t(f - d)];
        if (f + d < int(map.size()) && map[size_t(f + d)] >= 0) return map[size_t(f + d)];
    }
    return -1;
}

void ComparisonPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().text().color());
    if (!m_comparison) {
        p.drawText(rect().adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::TextWordWrap, m_message);
        return;
    }
    const Comparison& c = *m_comparison;
    const int w = width(), band = (height() - 2 * kLineHeight) / 2;
    const QRect model(0, kLineHeight, w, band), take(0, kLineHeight + band, w, band);
    const double perPixel = double(c.modelSamples.size()) / Comparison::kRate / std::max(1, w);

    // Words without counterpart, shaded across both rows.
    for (const WordMatch& word : c.words) {
        const int x0 = int(word.modelStart / perPixel), x1 = int(word.modelEnd / perPixel);
        if (word.missing) p.fillRect(QRect(x0, kLineHeight, std::max(1, x1 - x0), 2 * band), QColor(255, 120, 120, 90));
        p.setPen(word.missing ? QColor(180, 0, 0) : palette().text().color());
        p.drawText(QRect(x0, 0, std::max(1, x1 - x0) + 40, kLineHeight), Qt::AlignLeft | Qt::AlignVCenter, word.word);
        p.setPen(QColor(160, 160, 160));
        p.drawLine(x0, kLineHeight, x0, kLineHeight + 2 * band);
    }
    p.setPen(QColor(200, 200, 200));
    p.drawLine(0, take.top(), w, take.top());

    const std::vector<float> modelSt = toSemitones(c.modelPitch), takeSt = toSemitones(c.takePitch);
    QPainterPath modelWave, takeWave, modelPitch, takePitch;
    bool modelOn = false, takeOn = false;
    for (int x = 0; x < w; ++x) {
        const long from = long(x * perPixel * Comparison::kRate), to = long((x + 1) * perPixel * Comparison::kRate);
        const float a = peakOf(c.modelSamples, from, to) * float(band) * 0.45f;
        modelWave.moveTo(x, model.center().y() - a), modelWave.lineTo(x, model.center().y() + a);
        const int f = std::min(int(x * perPixel / kFrameSeconds), int(modelSt.size()) - 1);
        const bool onModel = f >= 0 && !std::isnan(modelSt[size_t(f)]);
        const double my = model.center().y() - (onModel ? modelSt[size_t(f)] : 0) / kPitchRange * band * 0.45;
        if (onModel) modelOn ? modelPitch.lineTo(x, my) : modelPitch.moveTo(x, my);
        modelOn = onModel;

        const int t = takeFrameAt(x);
        if (t < 0) continue;
        const float b = peakOf(c.takeSamples, long(t) * kHopSamples, long(t + 1) * kHopSamples + long(perPixel * Comparison::kRate)) *
                        float(band) * 0.45f;
        takeWave.moveTo(x, take.center().y() - b), takeWave.lineTo(x, take.center().y() + b);
        const bool onTake = t < int(takeSt.size()) && !std::isnan(takeSt[size_t(t)]);
        const double ty = take.center().y() - (onTake ? takeSt[size_t(t)] : 0) / kPitchRange * band * 0.45;
        if (onTake) takeOn ? takePitch.lineTo(x, ty) : takePitch.moveTo(x, ty);
        takeOn = onTake;
    }
    p.setPen(QColor(150, 170, 200));
    p.drawPath(modelWave);
    p.setPen(QColor(150, 190, 150));
    p.drawPath(takeWave);
    p.setPen(QPen(QColor(30, 60, 200), 2));
    p.drawPath(modelPitch);
    p.setPen(QPen(QColor(20, 130, 20), 2));
    p.drawPath(takePitch);
    p.setPen(palette().text().color());
    p.drawText(model.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, tr("Model"));
    p.drawText(take.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, tr("Your take"));
    p.drawText(QRect(4, height() - kLineHeight, w - 8, kLineHeight), Qt::AlignLeft | Qt::AlignVCenter, c.feedback());
}

void ComparisonPane::mousePressEvent(QMouseEvent* event) {
    if (!m_comparison || event->button() != Qt::LeftButton) return;
    const int x = int(event->position().x());
    const int band = (height() - 2 * kLineHeight) / 2;
    if (event->position().y() < kLineHeight + band) {
        emit playModelRequested(modelSecondsAt(x));
    } else if (const int t = takeFrameAt(x); t >= 0) {
        emit playTakeRequested(t * kFrameSeconds);
    }
}
