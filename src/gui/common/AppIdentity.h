// The program's name and icon as the desktop sees them, set once at start-up.
#pragma once

namespace vd::gui {

// Sets the application's name and window icon. No display name is set: the
// desktop appends one to every window title ("Vorndale 1.0 — Vorndale"), and
// the main window's caption is already the whole title.
void SetApplicationIdentity();

}  // namespace vd::gui
