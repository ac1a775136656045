// A top-level window kept within its screen's free area, title bar and frame included: at a large scale
// factor the template size (or a size kept from a bigger screen) is taller than the screen, and the bottom of
// the window would lie under the panel or below the screen's edge, out of reach.
#pragma once

class QWidget;

namespace ui {

// Shrinks (never below its minimum size) and moves `w` so that its frame lies within the free area of its
// screen. Before it is shown the frame is not known yet and is estimated from the style's title bar; once
// shown, the window system's own frame is used. A maximised or full-screen window is left alone.
void FitOnScreen(QWidget* w);

}  // namespace ui
