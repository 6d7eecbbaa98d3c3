// The wizard's windows on Windows are not built yet: without a form the
// setup takes the road without pages. The dump's file name is shared.
#include "platform/Widgets.h"

namespace platform {

std::unique_ptr<Form> CreateForm() { return nullptr; }

}  // namespace platform
