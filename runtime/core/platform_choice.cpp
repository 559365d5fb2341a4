// Which platform a program runs on. A Windows build and a web build carry one platform each and
// read nothing to choose it; a native build carries FLTK and the headless platform, and
// ZEPHA_PLATFORM in the environment chooses between them when the program starts, FLTK by
// default. A build with ZEPHA_HEADLESS_ONLY (the host tests') carries the headless one alone.
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
#elif defined(ZEPHA_HEADLESS_ONLY)
    return HEADLESS_PLATFORM;
#else
    const char *name = getenv("ZEPHA_PLATFORM");
    if (name == nullptr || name[0] == '\0' || strcmp(name, FLTK_PLATFORM.name) == 0)
        return FLTK_PLATFORM;
    if (strcmp(name, HEADLESS_PLATFORM.name) == 0)
        return HEADLESS_PLATFORM;
    fprintf(stderr,
            "ZEPHA: unknown platform ZEPHA_PLATFORM=%s (this program knows fltk and headless)\n",
            name);
    exit(1);
#endif
}

} // namespace zepha
