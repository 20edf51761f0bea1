#pragma once

#include <cstdint>

/// A version number as the host compares it: the first field is the major, the second the minor.
struct version_t {
    int32_t major;
    int32_t minor;
};
