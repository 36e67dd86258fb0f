// What both decode benchmarks share: clocks, medians, a synthetic scene with
// detail in it, a JPEG writer over libjpeg-turbo, and timed decodes through the
// picture host with the plug-ins of the build's program folder.
#pragma once

#include <QSize>
#include <QString>
#include <chrono>
#include <cstdint>
#include <vector>

#include "decode.h"

namespace kordel::bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
// User and system CPU time of this process so far.
double cpuSeconds();
double median(std::vector<double> values);
// "123.4 ms"
QString ms(double seconds);

struct Rgb8 {
    uint8_t r, g, b;
};

struct SceneStyle {
    double noise = 0;    // amplitude of per-dot noise everywhere (a camera's grain)
    double texture = 0;  // amplitude of the grass texture on the ground
};

// A landscape of gradients (sky, ground), a sun with a soft glow, hills, houses
// with hard edges and windows, a sign of text-like bars and a fine checker:
// something with the mix of flat, smooth and busy areas that real pictures
// have. The same scene comes out at any size; only noise and texture are per dot.
class Scene {
public:
    Scene(int width, int height, SceneStyle style);
    int width() const { return width_; }
    int height() const { return height_; }
    void row(int y, Rgb8* out) const;

private:
    int width_, height_;
    SceneStyle style_;
    std::vector<float> horizon_;  // per column, in scene units
    std::vector<float> cloud_;    // per column
};

// Writes the scene as a baseline JPEG (4:2:0, libjpeg's default settings) at the
// given quality. False, with a message on stderr, when the file cannot be written.
bool writeJpeg(const QString& path, const Scene& scene, int quality);

// A request for the host with the plug-ins beside this program.
DecodeRequest hostRequest(const QString& path, bool preview = false);

// Decodes through the host and returns the wall time of the call, the release
// of the result included. Stops the program with a message when the decode
// fails or the picture has another size than expected: a figure of a failed
// decode would be meaningless. cpu, when given, receives the CPU time.
double timeHostDecode(const DecodeRequest& request, QSize expected, double* cpu = nullptr);

// Prints a message on stderr and ends the program with exit code 1.
[[noreturn]] void fail(const QString& message);

}  // namespace kordel::bench
