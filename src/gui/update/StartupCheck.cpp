#include "update/StartupCheck.h"

#include <memory>

#include "update/NewVersionCheck.h"
#include "update/NewVersionDialog.h"

namespace vd {

bool RunStartupUpdateCheck() {
  if (!CheckNewVersion()) return true;
  auto dialog = std::make_unique<TfrmNewVersion>(nullptr);
  dialog->exec();
  return dialog->Tag != 0;
}

}  // namespace vd
