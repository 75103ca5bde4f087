// The audio settings edited by the options dialog and read at every sound.
#pragma once

#include <cstdint>

namespace dormix {

struct TAudioSettings {
    std::int16_t Device = 0;  // wave-out device number; -1 = default device
    std::int16_t Volume = 25; // override volume, 0..255
    bool VolumeOverride = false;
};

} // namespace dormix
