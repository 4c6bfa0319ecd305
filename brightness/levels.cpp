#include "brightness/levels.h"

std::atomic<uint32_t> dwBCLLevelCount{0};
std::array<uint8_t, kBCLLevelTableSize> BrightnessBCLLevel{};
