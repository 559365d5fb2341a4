#include "tools/replay/core/replay_status.h"

// ---- Public functions ----

const char *status_meaning(int status, bool program_own) {
    if (program_own)
        return "complete";
    switch (status) {
    case STATUS_USAGE: return "wrong arguments";
    case STATUS_NO_SANDBOX: return "no sandbox here";
    case STATUS_SANDBOX_NOT_HEADLESS: return "sandbox without --headless";
    case STATUS_NO_ANSWER: return "dialog without an answer";
    case STATUS_NOT_FOUND: return "file not found";
    case STATUS_NO_WINDOW: return "no graphics window";
    case STATUS_PLAYBACK_TIMEOUT: return "playback timeout";
    case STATUS_PROGRAM_DIED: return "program ended or crashed";
    case STATUS_FAILED: return "failed";
    case STATUS_DIFFERENT: return "differs from expected";
    case STATUS_SCRIPT_REFUSED: return "script refused";
    default: return "complete";
    }
}
