#pragma once

#include <cstdint>

// The firmware's model number decides the model: 1 and 3 paint their own OSD, 2 has the
// display controller; any other value keeps the OSD model and leaves dwModelID 0.
void TakeModelNumber(uint32_t model);
