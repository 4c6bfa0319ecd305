// What the daemon does with a control request. Posts go straight to the main window's queue;
// everything that reads or changes program state runs on the GUI thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// An op's handler gets the whole request object and returns the reply's fields; throwing
// std::invalid_argument turns into an error reply with its text.
using ControlOp = std::function<nlohmann::json(const nlohmann::json& request)>;
void registerControlOp(const std::string& op, ControlOp handler);
void clearControlOps();

std::string handleControlRequest(std::string_view line);
