// What the daemon does with a control request. Posts go straight to the main window's queue;
// everything that reads or changes program state runs on the GUI thread, and its reply is sent
// whenever the GUI thread gets to it: a request that has arrived is never timed out.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "control/protocol.h"

// An op's handler gets the whole request object and returns the reply's fields; throwing
// std::invalid_argument turns into an error reply with its text, any other exception into
// an error reply too.
using ControlOp = std::function<nlohmann::json(const nlohmann::json& request)>;
void registerControlOp(const std::string& op, ControlOp handler);
void clearControlOps();

// Answers through `respond` exactly once, now or from the GUI thread; never throws.
void handleControlRequest(std::string_view line, const control::Respond& respond);
