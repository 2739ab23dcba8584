// The one HookState of the module. It needs no construction of its own (every field has a
// constant initial value), so it is ready before the log and the scratch sets are constructed.
#include "hooks/hook_state.h"

namespace korvex {

HookStateRecord HookState;

} // namespace korvex
