// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RecentFiles: the most recently opened scripts, newest first, at most
// as many as the File menu shows, kept in the program's settings (the
// organization and application names of SetApplicationIdentity) under
// "Recent File List".

#include <QStringList>

class RecentFiles {
public:
    void load();                        // reads the saved list
    void add(const QString& path);      // moves or puts `path` first and saves
    const QStringList& files() const { return m_files; }

private:
    void save() const;
    QStringList m_files;
};
