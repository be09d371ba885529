// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The comparison under the page: the model's stretch above, the take below on
// the model's timeline (time-aligned), each with its waveform and pitch
// contour; the item's words along the model, the stretches of words without
// counterpart shaded, and a line of feedback. A click plays the model (upper
// half) or the take (lower half) from the moment under the pointer.

#include "compare/take_comparison.h"

#include <QWidget>
#include <memory>

class ComparisonPane : public QWidget {
    Q_OBJECT
public:
    explicit ComparisonPane(QWidget* parent = nullptr);

    void setComparison(std::shared_ptr<const Comparison> comparison);
    // A line in place of the comparison ("Comparing...", an error).
    void setMessage(const QString& text);
    std::shared_ptr<const Comparison> comparison() const { return m_comparison; }
    QSize sizeHint() const override { return {600, 190}; }

signals:
    // Seconds into the model's stretch, or into the take.
    void playModelRequested(double seconds);
    void playTakeRequested(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    double modelSecondsAt(int x) const;
    int takeFrameAt(int x) const;

    std::shared_ptr<const Comparison> m_comparison;
    QString m_message;
};
