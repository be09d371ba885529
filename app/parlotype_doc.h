// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CParlotypeDoc: the document. It holds only the path of the opened script
// and never reads or writes the file: the view loads the page itself, in its
// OnInitialUpdate after every new or opened document.

#include <QString>

class CParlotypeDoc {
public:
    bool OnNewDocument() {
        m_strPath.clear();
        return true;
    }
    bool OnOpenDocument(const QString& path) {
        m_strPath = path;
        return true;
    }

    QString m_strPath;  // empty for a new document
};
