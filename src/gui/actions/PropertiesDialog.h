// Our own properties window, for desktops where no file manager offers one.
#pragma once

#include <QDialog>
#include <string>

namespace vd {
class TDirNode;
}

namespace vd::gui {

// The folder of the scan tree below `root` whose path is `path`, or null. An
// all-drives root is searched through its drives.
const TDirNode* FindDirByPath(const TDirNode* root, const std::string& path);

// Name, folder, type, size, modified, owner and permissions of one item; for a
// folder also its size and file and folder counts as the scan found them
// (`scanned`, may be null). Not modal; deletes itself when closed. Each value
// label's objectName is "lbl" + the field (lblName, lblFolder, lblType,
// lblSize, lblModified, lblOwner, lblPermissions, lblContains).
class TPropertiesDialog : public QDialog {
  Q_OBJECT
 public:
  TPropertiesDialog(QWidget* parent, const std::string& path, const TDirNode* scanned);
};

}  // namespace vd::gui
