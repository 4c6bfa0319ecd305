// Files built into the executable, found by name and type as program resources are.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct EmbeddedResource {
    std::string_view name;
    std::string_view type;
    std::span<const uint8_t> bytes;
};

const std::vector<EmbeddedResource>& embeddedResources();

// The bytes of resource `name` of `type`, or nullopt.
std::optional<std::span<const uint8_t>> FindResource(std::string_view name, std::string_view type);

// Adds or replaces a resource for the life of the process; tests use it for broken images.
void addResource(std::string_view name, std::string_view type, std::vector<uint8_t> bytes);
