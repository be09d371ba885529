// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Compares takes off the GUI thread: a TakeComparer lives on a worker thread
// and reports by signals. A new request cancels the one under way; only the
// latest request's outcome is reported.

#include "compare/take_comparison.h"

#include <QObject>
#include <QThread>
#include <memory>

class CompareJob : public QObject {
    Q_OBJECT
public:
    explicit CompareJob(QObject* parent = nullptr);
    ~CompareJob() override;  // cancels and waits for the worker

    void compare(const ModelStretch& model, const QString& take);
    // Analyses the model ahead of its takes (an item becomes current).
    void prepare(const ModelStretch& model);
    void cancel();
    bool isBusy() const { return m_pending > 0; }

signals:
    void compared(const QString& take, std::shared_ptr<const Comparison> comparison);
    void failed(const QString& take, const QString& message);

private:
    QThread m_thread;
    TakeComparer* m_comparer;  // lives on m_thread
    int m_pending = 0;
    quint64 m_latest = 0;
};
