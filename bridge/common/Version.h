#pragma once

namespace trellybridge {

// The component's version, as GetControlVersion reports it and the window caption shows it.
inline constexpr double kControlVersion = 2013.1;
inline constexpr const char* kApplicationTitle = "TrellyBridge";

}  // namespace trellybridge
