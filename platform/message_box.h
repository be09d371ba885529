// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that tells the user of an error: a warning box with the
// exclamation icon over the active window. The application owns one; the
// command line and tests give it a sink instead.

#include <QString>
#include <functional>

namespace platform {

class Messages {
public:
    using Sink = std::function<void(const QString& text)>;

    void show(const QString& text) const;
    // Routes every later message to `sink`; an empty sink restores the box.
    void setSink(Sink sink) { m_sink = std::move(sink); }

private:
    Sink m_sink;
};

}  // namespace platform
