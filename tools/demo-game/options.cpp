// Parsing the demo game's command line.
#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const kGameUsage =
    "usage: demo-game [options]\n"
    "  --pipe N              game pipe number handed to the proxy (default: the process id)\n"
    "  --title TEXT          window title (default: \"Korvex Demo Game <pid>\")\n"
    "  --proxy NAME          render proxy file in the program's folder (default d3d11.dll)\n"
    "  --raw mouse|keyboard|both       register raw input for these devices\n"
    "  --nolegacy mouse|keyboard|both  ... with RIDEV_NOLEGACY (implies --raw for them)\n"
    "  --rect X,Y,W,H        main window rectangle (default 100,100,480,360)\n"
    "  --frame-ms N          frame timer period (default 16)\n"
    "  --quit-after SECONDS  end by itself after this long (default 120)\n"
    "Posting WM_APP+1 (wParam = id) to the main window prints a state line.\n";

namespace {

bool Devices(const char* word, bool& mouse, bool& keyboard) {
    bool both = std::strcmp(word, "both") == 0;
    if (!both && std::strcmp(word, "mouse") != 0 && std::strcmp(word, "keyboard") != 0)
        return false;
    mouse = mouse || both || std::strcmp(word, "mouse") == 0;
    keyboard = keyboard || both || std::strcmp(word, "keyboard") == 0;
    return true;
}

} // namespace

bool ParseGameOptions(int argc, char** argv, GameOptions& o) {
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (ok && std::strcmp(name, "--pipe") == 0)
            o.pipeNumber = static_cast<DWORD>(std::strtoul(value, nullptr, 10));
        else if (ok && std::strcmp(name, "--title") == 0)
            o.title = value;
        else if (ok && std::strcmp(name, "--proxy") == 0)
            o.proxy = value;
        else if (ok && std::strcmp(name, "--raw") == 0)
            ok = Devices(value, o.rawMouse, o.rawKeyboard);
        else if (ok && std::strcmp(name, "--nolegacy") == 0)
            ok = Devices(value, o.noLegacyMouse, o.noLegacyKeyboard);
        else if (ok && std::strcmp(name, "--rect") == 0)
            ok = std::sscanf(value, "%d,%d,%d,%d", &o.x, &o.y, &o.width, &o.height) == 4;
        else if (ok && std::strcmp(name, "--frame-ms") == 0)
            o.frameMs = static_cast<UINT>(std::strtoul(value, nullptr, 10));
        else if (ok && std::strcmp(name, "--quit-after") == 0)
            o.quitAfterMs = static_cast<DWORD>(std::strtoul(value, nullptr, 10)) * 1000;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "demo-game: bad option %s\n%s", name, kGameUsage);
            return false;
        }
        ++i;
    }
    o.rawMouse = o.rawMouse || o.noLegacyMouse;
    o.rawKeyboard = o.rawKeyboard || o.noLegacyKeyboard;
    return true;
}
