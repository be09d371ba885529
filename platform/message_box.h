// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that shows the user an error: a warning box with the
// exclamation icon. Tests and the command line swap in a sink instead.

#include <QString>
#include <functional>

namespace platform {

void showMessage(const QString& text);

using MessageSink = std::function<void(const QString& text)>;
// Routes every later message to `sink`; an empty sink restores the box.
void setMessageSink(MessageSink sink);

}  // namespace platform
