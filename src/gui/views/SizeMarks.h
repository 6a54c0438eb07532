// What a row says about sizes beyond the one it counts: the other measure, a
// hard link, a folder that could not be read. Every view that shows a file or
// a folder asks here, so they all say it the same way.
#pragma once

#include <QColor>
#include <QString>

#include "core/scan/ScanModel.h"

namespace vd::gui {

// The caption of the second size column: the measure not in force.
QString OtherSizeCaption();
// The other measure's size, with "hard link" behind a file that has several.
QString OtherSizeText(const TFileLeaf& f);
// A tooltip for a file: both sizes, and whether its bytes count here or at
// another link; empty when there is nothing to add.
QString FileSizeTip(const TFileLeaf& f);
// A tooltip for a folder that could not be read ("Could not be read:
// permission denied"); empty for one that could.
QString FolderReadTip(const TDirNode& d);
// The text colour of a folder that could not be read.
QColor UnreadableColor();

}  // namespace vd::gui
