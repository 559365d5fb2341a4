// Which platform a program runs on. A Windows build and a web build carry one platform each and
// read nothing to choose it; a native build carries FLTK and the headless platform, and
// ZEPHA_PLATFORM in the environment chooses between them when the program starts, FLTK by
// default. A native build with ZEPHA_HEADLESS_ONLY (built without FLTK, and the host tests')
// carries the headless one alone.
#include "runtime/core/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zepha {

const Platform &choose_platform() {
#if defined(_WIN32)
    return WIN32_PLATFORM;
#elif defined(__EMSCRIPTEN__)
    return WEB_PLATFORM;
#else
    static const Platform *const CARRIED[] = {
#if !defined(ZEPHA_HEADLESS_ONLY)
        &FLTK_PLATFORM,
#endif
        &HEADLESS_PLATFORM,
    };
    const char *name = getenv("ZEPHA_PLATFORM");
    if (name == nullptr || name[0] == '\0')
        return *CARRIED[0];
    for (const Platform *platform : CARRIED)
        if (strcmp(name, platform->name) == 0)
            return *platform;
#if defined(ZEPHA_HEADLESS_ONLY)
    const char *known = "headless: it was built without FLTK";
#else
    const char *known = "fltk and headless";
#endif
    fprintf(stderr, "ZEPHA: unknown platform ZEPHA_PLATFORM=%s (this program knows %s)\n", name,
            known);
    exit(1);
#endif
}

} // namespace zepha
