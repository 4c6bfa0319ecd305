// The status report: one JSON object whose keys are the process-wide variables, plus sections
// that subsystems add. Built on the GUI thread.
#pragma once

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

nlohmann::json buildStatus();

// A later registration under the same key replaces the earlier one.
void registerStatusSection(const std::string& key, std::function<nlohmann::json()> section);
void clearStatusSections();
