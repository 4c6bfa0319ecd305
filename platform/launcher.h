// Starting a program the way the desktop's shell does: a program file (possibly quoted) and a
// parameter text, or a document or address opened with its default handler.
#pragma once

#include <string>

namespace platform {

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts it detached and never waits for it; false (with the reason logged) when nothing was
    // started. `parameters` is split by shell quoting rules, never expanded.
    virtual bool launch(const std::string& file, const std::string& parameters) = 0;
    // Whether launch() could split `parameters`; false, with the reason in `why`, when it could
    // not (an unclosed quote). Starts nothing. A launcher that cannot tell answers true.
    virtual bool splitsParameters(const std::string& /*parameters*/, std::string& /*why*/) {
        return true;
    }
};

}  // namespace platform
