// libzip is loaded when a package is first read or written, not when the board starts: only
// an import or an export needs it, and it brings compression and crypto libraries with it.
//
// The program is not linked with libzip. Its code calls zip_* as declared in <zip.h>; the
// definitions here load the library on the first call and forward to it. Without the library
// no package opens, and one line on stderr says why. A libzip function used anywhere in the
// program needs its line below.
#include "platform/common/lazylibrary.h"

#include <zip.h>

namespace {

void* Symbol(const char* name)
{
    static platform::LazyLibrary library("libzip.so.4", "Open Board Format packages",
                                         "; they cannot be read or written", true);
    return library.Symbol(name);
}

}  // namespace

// Each definition resolves its own symbol once; fallback is what the call gives without the
// library (no archive, an error, nothing).
#define ORLIDO_ZIP_FORWARD(...) ORLIDO_LAZY_FORWARD(Symbol, __VA_ARGS__)

ORLIDO_ZIP_FORWARD(zip_t*, zip_open, (const char* path, int flags, int* errorp),
                   (path, flags, errorp), nullptr)
ORLIDO_ZIP_FORWARD(zip_t*, zip_open_from_source,
                   (zip_source_t * source, int flags, zip_error_t* error), (source, flags, error),
                   nullptr)
ORLIDO_ZIP_FORWARD(int, zip_close, (zip_t * archive), (archive), -1)
ORLIDO_ZIP_FORWARD(void, zip_discard, (zip_t * archive), (archive), )
ORLIDO_ZIP_FORWARD(const char*, zip_strerror, (zip_t * archive), (archive), "libzip is not loaded")
ORLIDO_ZIP_FORWARD(void, zip_error_init, (zip_error_t * error), (error), )
ORLIDO_ZIP_FORWARD(void, zip_error_init_with_code, (zip_error_t * error, int code), (error, code), )
ORLIDO_ZIP_FORWARD(const char*, zip_error_strerror, (zip_error_t * error), (error),
                   "libzip is not loaded")
ORLIDO_ZIP_FORWARD(void, zip_error_fini, (zip_error_t * error), (error), )
ORLIDO_ZIP_FORWARD(zip_int64_t, zip_get_num_entries, (zip_t * archive, zip_flags_t flags),
                   (archive, flags), -1)
ORLIDO_ZIP_FORWARD(void, zip_stat_init, (zip_stat_t * stat), (stat), )
ORLIDO_ZIP_FORWARD(int, zip_stat_index,
                   (zip_t * archive, zip_uint64_t index, zip_flags_t flags, zip_stat_t* stat),
                   (archive, index, flags, stat), -1)
ORLIDO_ZIP_FORWARD(int, zip_file_get_external_attributes,
                   (zip_t * archive, zip_uint64_t index, zip_flags_t flags, zip_uint8_t* system,
                    zip_uint32_t* attributes),
                   (archive, index, flags, system, attributes), -1)
ORLIDO_ZIP_FORWARD(int, zip_file_set_external_attributes,
                   (zip_t * archive, zip_uint64_t index, zip_flags_t flags, zip_uint8_t system,
                    zip_uint32_t attributes),
                   (archive, index, flags, system, attributes), -1)
ORLIDO_ZIP_FORWARD(zip_file_t*, zip_fopen_index,
                   (zip_t * archive, zip_uint64_t index, zip_flags_t flags),
                   (archive, index, flags), nullptr)
ORLIDO_ZIP_FORWARD(zip_int64_t, zip_fread, (zip_file_t * file, void* buffer, zip_uint64_t length),
                   (file, buffer, length), -1)
ORLIDO_ZIP_FORWARD(int, zip_fclose, (zip_file_t * file), (file), -1)
ORLIDO_ZIP_FORWARD(const char*, zip_file_strerror, (zip_file_t * file), (file),
                   "libzip is not loaded")
ORLIDO_ZIP_FORWARD(zip_source_t*, zip_source_buffer_create,
                   (const void* data, zip_uint64_t length, int freep, zip_error_t* error),
                   (data, length, freep, error), nullptr)
ORLIDO_ZIP_FORWARD(zip_source_t*, zip_source_buffer,
                   (zip_t * archive, const void* data, zip_uint64_t length, int freep),
                   (archive, data, length, freep), nullptr)
ORLIDO_ZIP_FORWARD(zip_source_t*, zip_source_file,
                   (zip_t * archive, const char* path, zip_uint64_t start, zip_int64_t length),
                   (archive, path, start, length), nullptr)
ORLIDO_ZIP_FORWARD(void, zip_source_free, (zip_source_t * source), (source), )
ORLIDO_ZIP_FORWARD(zip_int64_t, zip_file_add,
                   (zip_t * archive, const char* name, zip_source_t* source, zip_flags_t flags),
                   (archive, name, source, flags), -1)
ORLIDO_ZIP_FORWARD(int, zip_set_file_compression,
                   (zip_t * archive, zip_uint64_t index, zip_int32_t method, zip_uint32_t flags),
                   (archive, index, method, flags), -1)
