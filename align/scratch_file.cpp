// SPDX-License-Identifier: GPL-3.0-or-later
#include "align/scratch_file.h"

#include <QCoreApplication>
#include <QDir>

bool ScratchFile::fail(const char* message) {
    if (m_error.isEmpty())
        m_error = QCoreApplication::translate("ScratchFile", message)
                      .arg(QDir::toNativeSeparators(QDir::tempPath()), m_file.errorString());
    return false;
}

qint64 ScratchFile::append(const void* data, qint64 size) {
    if (hasFailed()) return -1;
    if (!m_file.isOpen()) {
        // The system's temporary folder is empty when TMPDIR names none: then
        // the file would go to the root folder.
        const QString folder = QDir::tempPath();
        if (folder.isEmpty()) {
            m_error = QCoreApplication::translate("ScratchFile", "The temporary folder '%1' (TMPDIR) does not exist")
                          .arg(qEnvironmentVariable("TMPDIR"));
            return -1;
        }
        m_file.setFileTemplate(folder + QStringLiteral("/parlotype-XXXXXX"));
        if (!m_file.open()) {
            fail(QT_TRANSLATE_NOOP("ScratchFile", "Could not create a temporary file in '%1': %2"));
            return -1;
        }
    }
    // Written through at once, so that a full disk is seen here.
    if (!m_file.seek(m_size) || m_file.write(static_cast<const char*>(data), size) != size || !m_file.flush()) {
        fail(QT_TRANSLATE_NOOP("ScratchFile", "Could not write a temporary file in '%1' (is the disk full?): %2"));
        return -1;
    }
    const qint64 at = m_size;
    m_size += size;
    return at;
}

bool ScratchFile::read(qint64 offset, void* data, qint64 size) {
    if (hasFailed()) return false;
    if (offset < 0 || offset + size > m_size || !m_file.seek(offset) || m_file.read(static_cast<char*>(data), size) != size)
        return fail(QT_TRANSLATE_NOOP("ScratchFile", "Could not read back a temporary file in '%1': %2"));
    return true;
}
