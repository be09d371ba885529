// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/compare_job.h"

CompareJob::CompareJob(QObject* parent) : QObject(parent), m_comparer(new TakeComparer) {
    m_comparer->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_comparer, &QObject::deleteLater);
    m_thread.start();
}

CompareJob::~CompareJob() {
    cancel();
    m_thread.quit();
    m_thread.wait();
}

void CompareJob::compare(const ModelStretch& model, const QString& take) {
    cancel();
    const quint64 request = ++m_latest;
    ++m_pending;
    TakeComparer* comparer = m_comparer;
    // Runs on the worker thread, in request order; the outcome comes back queued.
    QMetaObject::invokeMethod(comparer, [this, comparer, model, take, request] {
        comparer->setInput(model, take);
        const TakeComparer::Result result = comparer->run();
        std::shared_ptr<const Comparison> comparison = comparer->comparison();
        const QString error = comparer->errorText();
        QMetaObject::invokeMethod(this, [this, result, comparison, error, take, request] {
            --m_pending;
            if (request != m_latest || result == TakeComparer::Result::Cancelled) return;
            if (result == TakeComparer::Result::Ok) emit compared(take, comparison);
            else emit failed(take, error);
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void CompareJob::prepare(const ModelStretch& model) {
    TakeComparer* comparer = m_comparer;
    QMetaObject::invokeMethod(comparer, [comparer, model] {
        comparer->setInput(model, QString());
        comparer->prepare();
    }, Qt::QueuedConnection);
}

void CompareJob::cancel() { m_comparer->cancel(); }
