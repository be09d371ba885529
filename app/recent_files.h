// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CRecentFileList: the most recently opened scripts, newest first, at most
// kRecentFileCount, kept in the program's settings (the organization and
// application names of SetApplicationIdentity) under "Recent File List".

#include <QStringList>

class CRecentFileList {
public:
    void Load();                        // reads the saved list
    void Add(const QString& path);      // moves or puts `path` first and saves
    const QStringList& Files() const { return m_files; }

private:
    void Save() const;
    QStringList m_files;
};
