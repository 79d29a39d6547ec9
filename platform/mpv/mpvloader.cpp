// libmpv is loaded when it is first used, not when the board starts. It pulls in nearly
// every shared library the board maps (codecs, audio and video outputs): linked directly,
// the dynamic loader spends a third of the start-up on it and its pages stay resident
// whether or not a sound ever plays.
//
// The board is not linked with libmpv. Its code calls mpv_* as declared in <mpv/client.h>;
// the definitions here load the library on the first call (once, from whichever thread
// comes first) and forward to it. Without the library mpv_create gives no handle, which
// the sound and media players already treat as "sounds are off", and one line says why.
// A function of the client API used anywhere in the board needs its line below.
#include "platform/common/lazylibrary.h"

#include <mpv/client.h>

namespace {

void* Symbol(const char* name)
{
    static platform::LazyLibrary library("libmpv.so.2", "Sound",
                                         "; sounds, films and music are off", true);
    return library.Symbol(name);
}

}  // namespace

// Each definition resolves its own symbol once; fallback is what the call gives without
// the library (no handle, an error code, nothing).
#define ORLIDO_MPV_FORWARD(...) ORLIDO_LAZY_FORWARD(Symbol, __VA_ARGS__)

ORLIDO_MPV_FORWARD(unsigned long, mpv_client_api_version, (void), (), 0)
ORLIDO_MPV_FORWARD(const char*, mpv_error_string, (int error), (error), "libmpv is not loaded")
ORLIDO_MPV_FORWARD(void, mpv_free, (void* data), (data), )
ORLIDO_MPV_FORWARD(mpv_handle*, mpv_create, (void), (), nullptr)
ORLIDO_MPV_FORWARD(int, mpv_initialize, (mpv_handle * ctx), (ctx), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(void, mpv_destroy, (mpv_handle * ctx), (ctx), )
ORLIDO_MPV_FORWARD(void, mpv_terminate_destroy, (mpv_handle * ctx), (ctx), )
ORLIDO_MPV_FORWARD(void, mpv_free_node_contents, (mpv_node * node), (node), )
ORLIDO_MPV_FORWARD(int, mpv_set_option,
                   (mpv_handle * ctx, const char* name, mpv_format format, void* data),
                   (ctx, name, format, data), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_set_option_string,
                   (mpv_handle * ctx, const char* name, const char* data), (ctx, name, data),
                   MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_command, (mpv_handle * ctx, const char** args), (ctx, args),
                   MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_command_node, (mpv_handle * ctx, mpv_node* args, mpv_node* result),
                   (ctx, args, result), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_command_ret, (mpv_handle * ctx, const char** args, mpv_node* result),
                   (ctx, args, result), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_command_string, (mpv_handle * ctx, const char* args), (ctx, args),
                   MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_command_async,
                   (mpv_handle * ctx, uint64_t reply_userdata, const char** args),
                   (ctx, reply_userdata, args), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_set_property,
                   (mpv_handle * ctx, const char* name, mpv_format format, void* data),
                   (ctx, name, format, data), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_set_property_string,
                   (mpv_handle * ctx, const char* name, const char* data), (ctx, name, data),
                   MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_get_property,
                   (mpv_handle * ctx, const char* name, mpv_format format, void* data),
                   (ctx, name, format, data), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(char*, mpv_get_property_string, (mpv_handle * ctx, const char* name),
                   (ctx, name), nullptr)
ORLIDO_MPV_FORWARD(int, mpv_observe_property,
                   (mpv_handle * mpv, uint64_t reply_userdata, const char* name, mpv_format format),
                   (mpv, reply_userdata, name, format), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_unobserve_property,
                   (mpv_handle * mpv, uint64_t registered_reply_userdata),
                   (mpv, registered_reply_userdata), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(const char*, mpv_event_name, (mpv_event_id event), (event), "")
ORLIDO_MPV_FORWARD(int, mpv_request_event, (mpv_handle * ctx, mpv_event_id event, int enable),
                   (ctx, event, enable), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(int, mpv_request_log_messages, (mpv_handle * ctx, const char* min_level),
                   (ctx, min_level), MPV_ERROR_UNINITIALIZED)
ORLIDO_MPV_FORWARD(mpv_event*, mpv_wait_event, (mpv_handle * ctx, double timeout), (ctx, timeout),
                   nullptr)
ORLIDO_MPV_FORWARD(void, mpv_wakeup, (mpv_handle * ctx), (ctx), )
ORLIDO_MPV_FORWARD(void, mpv_set_wakeup_callback, (mpv_handle * ctx, void (*cb)(void* d), void* d),
                   (ctx, cb, d), )
ORLIDO_MPV_FORWARD(void, mpv_wait_async_requests, (mpv_handle * ctx), (ctx), )
