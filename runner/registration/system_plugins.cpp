#include "runner/registration/system_plugins.h"

namespace orv {

// Each registration is defined with its plug-in.

}  // namespace orv
