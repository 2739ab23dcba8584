// The module's static objects, defined in one place so that they are constructed in this order
// (and destroyed in the reverse order after the entry point's detach): HookState with its
// position history, the log, the window scratch set, the thread scratch set.
#include "discovery/window_discovery.h"
#include "hooks/hook_state.h"
#include "log/log_file.h"

HookStateRecord HookState;
LogFile ModuleLog;
WindowSet ProcessWindowsScratch;
ThreadIdSet WindowThreadsScratch;
