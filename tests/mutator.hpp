// Random damage to models, the same on every host: used wherever tests want
// many broken variants of a few good models.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "md3_layout.hpp"

using namespace md3;

// Fields worth aiming at: the header's counts and offsets and those of the
// first surface header (found by the header's ofsSurfaces in the valid model).
const std::vector<std::int64_t> kHeaderFields = {Md3Header::kNumFrames, Md3Header::kNumSurfaces,
                                                 Md3Header::kOfsFrames, Md3Header::kOfsSurfaces,
                                                 Md3Header::kOfsEnd};
const std::vector<std::int64_t> kSurfaceFields = {
    Md3Surface::kNumFrames,    Md3Surface::kNumShaders,    Md3Surface::kNumVerts,
    Md3Surface::kNumTriangles, Md3Surface::kOfsTriangles,  Md3Surface::kOfsShaders,
    Md3Surface::kOfsSt,        Md3Surface::kOfsXyzNormals, Md3Surface::kOfsEnd};

// A deterministic mutator: std::mt19937 is specified bit for bit, and only
// its raw output is used, so every host makes the same mutants.
class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : rng_(seed) {}

    ModelBuffer mutate(ModelBuffer bytes) {
        const std::int64_t firstSurface = Md3Header::ofsSurfaces(bytes.data());
        const int count = 1 + static_cast<int>(pick(3));
        for (int i = 0; i < count && !bytes.empty(); ++i) {
            switch (pick(4)) {
                case 0:  // flip a few bits
                    for (std::uint32_t b = pick(8) + 1; b > 0; --b)
                        bytes[pick(static_cast<std::uint32_t>(bytes.size()))] ^=
                            static_cast<std::uint8_t>(1u << pick(8));
                    break;
                case 1:  // truncate
                    bytes.resize(pick(static_cast<std::uint32_t>(bytes.size())));
                    break;
                default: {  // a count or offset set to a boundary value
                    const bool header = pick(2) == 0;
                    const std::int64_t at =
                        header ? kHeaderFields[pick(5)] : firstSurface + kSurfaceFields[pick(9)];
                    const std::int64_t size = static_cast<std::int64_t>(bytes.size());
                    const std::int64_t values[] = {-1,   0,        1,   0x7fffffff, INT32_MIN,
                                                   size, size - 1, 107, 108,        1025};
                    if (at + 4 <= size)
                        put_i32(bytes.data() + at, static_cast<std::int32_t>(values[pick(10)]));
                }
            }
        }
        return bytes;
    }

private:
    std::uint32_t pick(std::uint32_t n) {
        return n == 0 ? 0 : static_cast<std::uint32_t>(rng_() % n);
    }
    std::mt19937 rng_;
};
