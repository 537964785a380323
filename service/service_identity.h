// The service's identity towards the system's service manager.
#pragma once

#include <string_view>

namespace duvane {

inline constexpr std::string_view kServiceName = "DuvaneS";
// UTF-8: shown in the system's tools and on the console, not in the log.
inline constexpr std::string_view kServiceDisplayName = "本地硬件服务";

}  // namespace duvane
