// Every piece of the core's runtime state, with its initial value.
#include "runtime/core/runtime_state.h"

const char *const zepha::SCRIPT_FILE_NAME = "ZEPHA.SCR";

// ---- Start-up and surface ----
StartupArgs g_startup_args = {};
int32_t g_surface_dirty = 1;
int32_t g_origin_x = 0;
int32_t g_origin_y = 0;

// ---- Pending event ----
int32_t g_event_kind = 0;
int32_t g_event_x = 0;
int32_t g_event_y = 0;
char g_event_key = 0;

// ---- Animation ----
uint8_t g_animating = 0;
uint8_t g_step_pending = 0;
int32_t g_tick_pending = 0;
uint8_t g_quit_pending = 0;

// ---- Script ----
int32_t zepha::played_events = 0;
zepha::PlaybackEnd zepha::playback_end = zepha::PLAYBACK_NONE;
uint8_t g_recording = 0;
uint8_t g_playing = 0;
uint8_t g_play_one = 0;
FILE *g_script_file = nullptr;
int32_t g_periodic_run = 0;
int32_t g_ctrl_down = 0;

// ---- Log ----
uint8_t g_logging = 1;
TextBlock g_log_lines[LOG_RING_SIZE] = {};
int32_t g_log_first = -1;
int32_t g_log_next = 0;

// ---- Dialog and display ----
char *g_gets_target = nullptr;
BYTE g_display_created = 0;
