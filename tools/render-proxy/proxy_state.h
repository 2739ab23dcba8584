// The one state the reference proxy's contract exports answer from, shared between the exports
// and the proxy's link to the overlay.
#pragma once

#include "render_proxy_fixture.h"

ProxyFixtureState& ProxyState();
