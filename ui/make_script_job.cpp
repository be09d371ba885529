// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/make_script_job.h"

#include "align/aligner.h"
#include "align/script_page.h"
#include "align/script_text.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QWidget>

MakeScriptJob::MakeScriptJob(const platform::Messages& messages, QWidget* parent)
    : QObject(parent), m_messages(messages), m_parent(parent) {}

QString MakeScriptJob::run(const QString& recording, const QString& textPath, const QString& page) {
    ScriptText text;
    if (const ScriptText::Result loaded = text.load(textPath); loaded != ScriptText::Result::Ok) {
        m_messages.show(ScriptText::message(loaded, textPath));
        return {};
    }
    QProgressDialog dialog(QCoreApplication::translate("MakeScript", "Aligning the text with the recording..."), QCoreApplication::translate("MakeScript", "Cancel"), 0,
                           100, m_parent);
    dialog.setWindowTitle(QCoreApplication::translate("MakeScript", "Make Script"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);

    QThread worker;
    auto* aligner = new Aligner;  // lives on the worker thread, deleted when it ends
    aligner->setInput(recording, text.items(), QStringLiteral("en"), 0.0);
    aligner->moveToThread(&worker);
    QEventLoop loop;
    Aligner::Result result = Aligner::Result::Cancelled;
    bool done = false;
    connect(&worker, &QThread::started, aligner, [aligner] { aligner->run(); });
    connect(aligner, &Aligner::progress, &dialog, &QProgressDialog::setValue);
    connect(aligner, &Aligner::finished, &loop, [&](Aligner::Result r) {
        result = r;
        done = true;
        loop.quit();
    });
    // Cancel (or Escape) hides the dialog; the loop ends with it.
    connect(&dialog, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    connect(&dialog, &QDialog::rejected, &loop, &QEventLoop::quit);
    worker.start();
    dialog.show();
    // The modal dialog processes events while it shows progress, so the work
    // may be over before the loop starts: a quit before exec() would be lost.
    if (!done) loop.exec();
    // Cancelled, or the program is quitting: the aligner stops at its next
    // check, a moment later. It is waited for here, with no events handled,
    // so the window stays blocked and no second job can start beside it.
    if (!done) aligner->cancel();
    worker.quit();
    worker.wait();
    dialog.close();

    const std::vector<AlignedItem> items = aligner->items();
    const std::vector<ExtraSpeech> extra = aligner->extraSpeech();
    const QString error = aligner->errorText();
    delete aligner;
    if (result != Aligner::Result::Ok) {
        if (result != Aligner::Result::Cancelled) m_messages.show(error);
        return {};
    }
    QString writeError;
    if (!writeScriptPage(page, recording, text, items, extra, writeError)) {
        m_messages.show(writeError);
        return {};
    }
    return page;
}
