// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the web view's frames reach the screen. Must run before the
// QApplication is constructed.
//
// When the web engine composes without a GPU (--disable-gpu in
// QTWEBENGINE_CHROMIUM_FLAGS, as on a headless or GPU-less machine), its
// frames are software images. Drawn through Qt Quick's OpenGL renderer, every
// repaint of any widget then composes the whole window through a software
// OpenGL rasterizer: the time pane alone, ticking ten times a second during
// playback, costs a tenth of a core that way. Qt Quick's software renderer
// paints those images directly. A renderer chosen by the user
// (QT_QUICK_BACKEND) is kept.

namespace platform {

void chooseWebRendering();

}  // namespace platform
