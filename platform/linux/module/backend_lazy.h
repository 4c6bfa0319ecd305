// Adapters whose module is opened only when first used: a daemon that never reads a
// configuration, paints an OSD or starts a program never maps their libraries. A module that is
// missing then leaves the port doing nothing, as its do-nothing default would.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ports.h"

namespace platform::linux_adapter {

std::unique_ptr<XmlReaders> makeLazyXmlReaders();
std::unique_ptr<Graphics> makeLazyGraphics();
std::unique_ptr<Mixer> makeLazyMixer();
std::unique_ptr<Launcher> makeLazyLauncher();

// The argument list the real launcher would run for `file` with `parameters`; empty, with the
// reason in `why`, when the parameters cannot be split or the launcher's module is missing.
std::optional<std::vector<std::string>> launchArguments(const std::string& file,
                                                        const std::string& parameters,
                                                        std::string& why);

}  // namespace platform::linux_adapter
