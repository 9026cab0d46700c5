#include "platform/posix/desktop/RandrOutputs.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace platform::posix {

namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

}  // namespace

std::vector<std::string> randrOutputNames(const std::string& displayName) {
  std::vector<std::string> names;
  int screenNumber = 0;
  xcb_connection_t* connection =
      xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return names;
  }
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  const Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
      connection, xcb_randr_query_version(connection, 1, 3), nullptr));
  if (screens.rem && version) {
    const Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            connection, xcb_randr_get_screen_resources_current(connection, screens.data->root),
            nullptr));
    if (resources) {
      const xcb_randr_output_t* outputs =
          xcb_randr_get_screen_resources_current_outputs(resources.get());
      const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
      for (int i = 0; i < count; ++i) {
        const Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            connection,
            xcb_randr_get_output_info(connection, outputs[i], resources->config_timestamp),
            nullptr));
        // Only outputs that show part of the screen have a desktop background.
        if (!info || info->connection != XCB_RANDR_CONNECTION_CONNECTED || info->crtc == XCB_NONE)
          continue;
        const auto* name = reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get()));
        names.emplace_back(name, static_cast<std::size_t>(xcb_randr_get_output_info_name_length(info.get())));
      }
    }
  }
  xcb_disconnect(connection);
  return names;
}

}  // namespace platform::posix
