// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recent_files.h"

#include "ui/main_window.h"

#include <QSettings>

namespace {

constexpr char kGroup[] = "Recent File List";

QString key(int index) { return QStringLiteral("File%1").arg(index + 1); }

}  // namespace

void RecentFiles::load() {
    m_files.clear();
    QSettings settings;
    settings.beginGroup(QLatin1String(kGroup));
    for (int i = 0; i < MainWindow::kRecentFileCount; ++i) {
        const QString path = settings.value(key(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path)) m_files << path;
    }
}

void RecentFiles::add(const QString& path) {
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > MainWindow::kRecentFileCount) m_files.removeLast();
    save();
}

void RecentFiles::save() const {
    QSettings settings;
    settings.remove(QLatin1String(kGroup));
    settings.beginGroup(QLatin1String(kGroup));
    for (int i = 0; i < m_files.size(); ++i) settings.setValue(key(i), m_files[i]);
}
