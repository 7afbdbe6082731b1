// api_windows.cpp -- the window handler (script message and menu windows)
// and the head-tracking handler.

#include "api/api_args.h"
#include "api/api_local.h"

namespace api {

// [SECTION] Window calls

const CallEntry kWindowCalls[] = {
    {"add_window_sprite", nullptr},
    {"close_window", nullptr},
    {"create_plane_window", nullptr},
    {"create_select_window", nullptr},
    {"delete_window_sprite", nullptr},
    {"get_window_cursor", nullptr},
    {"get_window_cursor_string", nullptr},
    {"get_window_status", nullptr},
    {"get_window_text", nullptr},
    {"set_window_active", nullptr},
    {"set_window_cursor", nullptr},
    {"set_window_font", nullptr},
    {"set_window_sub_font", nullptr},
    {"set_window_sub_text", nullptr},
    {"set_window_text", nullptr},
};
const size_t kWindowCallCount = sizeof kWindowCalls / sizeof kWindowCalls[0];

const script::SystemCallHandler HandleWindowSystemCall = TableHandler<kWindowCalls, kWindowCallCount>;

// [SECTION] Head tracking

const CallEntry kVrCalls[] = {
    {"ovr_get_rot", nullptr},
    {"ovr_reset", nullptr},
};
const size_t kVrCallCount = sizeof kVrCalls / sizeof kVrCalls[0];

// Its preset is int 0: no head-mounted display answers nothing.
const script::SystemCallHandler HandleVrSystemCall = TableHandler<kVrCalls, kVrCallCount, script::kCallInt, 0>;

}  // namespace api
