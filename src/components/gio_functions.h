#pragma once

// GIO, opened when the trash or the desktop's default editor is first
// needed rather than at start-up (see shared_library.h).

// GIO names a member "signals", which Qt's headers make a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "components/shared_library.h"

namespace lumaset {

#define LUMASET_GIO_FUNCTIONS(F) \
  F(g_app_info_get_default_for_type) F(g_clear_error) F(g_desktop_app_info_get_filename) \
  F(g_desktop_app_info_get_string) F(g_desktop_app_info_get_type) F(g_desktop_app_info_launch_uris_as_manager) \
  F(g_desktop_app_info_new_from_filename) F(g_error_free) F(g_file_new_for_path) F(g_file_trash) F(g_free) \
  F(g_get_user_data_dir) F(g_object_unref) F(g_type_check_instance_is_a)
LUMASET_LIBRARY_FUNCTIONS(Gio, LUMASET_GIO_LIBRARY, LUMASET_GIO_FUNCTIONS);

}  // namespace lumaset
