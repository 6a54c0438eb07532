// The start-up check for a newer version and the state it shares with the
// new-version dialog. Everything here runs on the UI thread.
#pragma once

#include <QString>

namespace vd {

// While set, closing the new-version dialog ends the program: the check sets
// it for a mandatory update, "Update Now" as soon as it is pressed.
extern bool MandatoryUpdate;
// Set by "Abort"; the running download stops at its next progress report.
extern bool DownloadCancelled;
// The text the dialog shows.
extern QString NewVersionMessage;

// Fetches the version and changes files from the vendor's site and decides.
// True when the dialog must be shown; then NewVersionMessage (and, for a
// mandatory update, MandatoryUpdate) is set. Any failure returns false
// silently and changes nothing.
bool CheckNewVersion();

}  // namespace vd
