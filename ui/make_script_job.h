// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Make Script from the window: the aligner runs on a worker thread behind a
// progress dialog with Cancel; the page is written where the user chose when
// it is done. Failures are shown as messages.

#include <QObject>
#include <QString>

class QWidget;
namespace platform {
class Messages;
}

class MakeScriptJob : public QObject {
    Q_OBJECT
public:
    MakeScriptJob(const platform::Messages& messages, QWidget* parent);

    // Aligns `text` with `recording` and writes the page to `page`; returns
    // its path, or an empty string when it failed or was cancelled. Runs a
    // local event loop until the work is over or cancelled, then waits for the
    // worker to stop, so that it never outlives the call.
    QString run(const QString& recording, const QString& text, const QString& page);

private:
    const platform::Messages& m_messages;
    QWidget* m_parent;
};
