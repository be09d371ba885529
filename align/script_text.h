// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of a recording: UTF-8, one item (a sentence or a line of verse) a
// line, blank lines between paragraphs. The first line is the title.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <vector>

class ScriptText {
public:
    enum class Result { Ok, CannotOpen, NotUtf8, NoItems };

    Result load(const QString& path);
    // A sentence for the user about a failed load of `path`.
    static QString message(Result result, const QString& path);

    const QStringList& items() const { return m_items; }
    // The paragraph (0, 1, ...) each item belongs to.
    int paragraphOf(int item) const { return m_paragraph[size_t(item)]; }
    QString title() const { return m_items.value(0); }

private:
    QStringList m_items;
    std::vector<int> m_paragraph;
};
