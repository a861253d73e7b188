#pragma once

namespace quorel {

// What the leveler last published: its 3-second gated loudness (LUFS, -120 without data), the
// gain it applies (dB) and whether a valid measurement is steering that gain.
struct QRLevelerReading {
    float loudness;
    float gainDB;
    bool measuring;
};

}  // namespace quorel
