#pragma once

#include <string>

namespace base {
class Window;
}

namespace platform {

// Makes the main window findable by its title, so that other processes can post to it.
class WindowDirectory {
public:
    virtual ~WindowDirectory() = default;
    virtual bool publish(const std::string& title, base::Window* window) = 0;
};

}  // namespace platform
