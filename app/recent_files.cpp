#include "app/recent_files.h"

#include "view/command_ids.h"

#include "platform/app_settings.h"

namespace {

constexpr char kGroup[] = "Recent File List";

QSettings Settings() { return platform::AppSettings(); }

QString Key(int index) { return QStringLiteral("File%1").arg(index + 1); }

}  // namespace

void CRecentFileList::Load() {
    m_files.clear();
    QSettings settings = Settings();
    settings.beginGroup(QLatin1String(kGroup));
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString path = settings.value(Key(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path)) m_files << path;
    }
}

void CRecentFileList::Add(const QString& path) {
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > kRecentFileCount) m_files.removeLast();
    Save();
}

void CRecentFileList::Save() const {
    QSettings settings = Settings();
    settings.remove(QLatin1String(kGroup));
    settings.beginGroup(QLatin1String(kGroup));
    for (int i = 0; i < m_files.size(); ++i) settings.setValue(Key(i), m_files[i]);
}
