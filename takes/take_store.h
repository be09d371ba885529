// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The takes of one script: 16-bit mono WAV files in a folder of their own,
// named by item and time ("ITEM@20261207-101530-250.wav", the item's anchor
// name percent-encoded; nothing before the '@' for a take of no item). A take
// is written under a temporary name and renamed when complete, so a crash
// loses at most the take being written and leaves no half take listed.
//
// How a script's folder is found: each folder holds an index ("index.txt":
// the script's last known path and a SHA-1 of its bytes). A script is looked
// up by its path first, so an edited script keeps its takes; else by the hash
// of its bytes, so a moved or copied one keeps them too; a script both moved
// and edited starts a new folder. A folder without an index (made before
// there were indexes) is named by the hash and found by it. The index is
// brought up to date when a script is found at a new path or with new bytes.

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class TakeStore : public QObject {
    Q_OBJECT
public:
    // The takes in `folder`, with no script and no index.
    explicit TakeStore(const QString& folder, QObject* parent = nullptr);

    // The takes of the script at `pagePath`, in its folder under `root`
    // (empty: "takes" in the application's data folder), found as said above;
    // a folder that does not exist yet is made with the first take. Null when
    // the page cannot be read.
    static std::unique_ptr<TakeStore> forScript(const QString& pagePath, const QString& root = QString());

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

    // A whole 16-bit mono WAV file of `samples` at `rate` Hz.
    static QByteArray waveBytes(const std::vector<int16_t>& samples, int rate);

signals:
    void changed();  // a take was saved or deleted

private:
    bool writeIndex(QString& error);

    QString m_folder;
    QString m_page;      // the script's path, and the SHA-1 of its bytes in hex (none: no index)
    QByteArray m_hash;
    bool m_indexed = true;  // the folder's index names m_page and m_hash
};
