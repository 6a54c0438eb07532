// The update step of the program's start: call after the application object
// exists and its title is set ("Vorndale", the dialog's caption uses it), and
// before any window is created.
#pragma once

namespace vd {

// Checks the vendor's site for a newer version and, when there is one, shows
// the new-version dialog modally. False when the program must end now: a
// mandatory update was declined, or "Update Now" was used in any way, except
// where it only opened the download page for a mandatory update. True when
// the main window should start (no update, a failed check, an optional
// update skipped, or that download page opened).
bool RunStartupUpdateCheck();

}  // namespace vd
