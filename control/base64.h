// Base64 (RFC 4648, with padding) for binary data carried in JSON replies.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace control {

std::string encodeBase64(std::span<const uint8_t> data);
// Nullopt when `text` is not canonical padded base64.
std::optional<std::vector<uint8_t>> decodeBase64(std::string_view text);

}  // namespace control
