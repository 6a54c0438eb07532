#include "ResultsState.h"

namespace vd::gui {

bool AppClosing = false;

}  // namespace vd::gui
