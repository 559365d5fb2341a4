// The replay tool's exit statuses and what each one means, the same on every platform the tool
// runs on. After a complete replay whose picture is accepted the tool exits with the program's
// own status instead. Plain C++: no platform headers.
#pragma once

enum ReplayStatus {
    STATUS_USAGE = 2,                  // wrong arguments
    STATUS_NO_SANDBOX = 117,           // --sandbox: the sandbox cannot be set up on this machine
    STATUS_SANDBOX_NOT_HEADLESS = 118, // --sandbox without --headless (native tool)
    STATUS_NO_ANSWER = 119,            // a text-entry dialog opened with no --answer left for it
    STATUS_NOT_FOUND = 120,            // a file named in the arguments cannot be found or used
    STATUS_NO_WINDOW = 121,            // no graphics window within the timeout
    STATUS_PLAYBACK_TIMEOUT = 122,     // playback not ended within the timeout
    STATUS_PROGRAM_DIED = 123,         // the program ended or crashed before the picture was taken
    STATUS_FAILED = 124,               // anything else: folder, start, picture, Quit, PNG file
    STATUS_DIFFERENT = 125,            // the picture differs from the expected one
    STATUS_SCRIPT_REFUSED = 126,       // --strict: the script would not be played to its end
};

// A few words for results.csv. A program's own status, after a complete replay, is "complete"
// whatever its number.
const char *status_meaning(int status, bool program_own);
