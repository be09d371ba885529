// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The takes of one script: 16-bit mono WAV files in a folder of their own,
// named by item and time ("ITEM@20261207-101530-250.wav", the item's anchor
// name percent-encoded; nothing before the '@' for a take of no item). A take
// is written under a temporary name and renamed when complete, so a crash
// loses at most the take being written and leaves no half take listed. The
// folder for a script is keyed by the page's bytes, so a moved or copied
// script keeps its takes.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class TakeStore : public QObject {
    Q_OBJECT
public:
    explicit TakeStore(const QString& folder, QObject* parent = nullptr);

    // The folder for the script at `pagePath`: a hash of its bytes under the
    // application's data folder ("takes/<sha1>"); empty when it cannot be read.
    static QString folderFor(const QString& pagePath);

    QString folder() const { return m_folder; }
    // Writes a take of `item` recorded at `rate` Hz; returns its path, or an
    // empty string with `error` set.
    QString save(const QString& item, const std::vector<int16_t>& samples, int rate, QString& error);
    // The complete takes of `item`, oldest first (full paths).
    QStringList takes(const QString& item) const;
    // The item a take belongs to, and when it was made, read from its name.
    static QString itemOf(const QString& takePath);
    static QDateTime timeOf(const QString& takePath);
    // Deletes a take of this store.
    bool remove(const QString& takePath);

signals:
    void changed();  // a take was saved or deleted

private:
    QString m_folder;
};
