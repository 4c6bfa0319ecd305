// The generated layer-shell header names an argument `namespace`, a C++ keyword.
#pragma once

#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace
