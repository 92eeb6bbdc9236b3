// SPDX-License-Identifier: Apache-2.0
#include "imaging/sample_images.h"

#include <algorithm>
#include <cmath>

namespace ombrel {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

int toByte(double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); }

// A ridge line made of a few sines, in pixels from the top.
double ridge(double x, double base, double amplitude, double phase) {
    return base - amplitude * (0.55 * std::sin(x * 0.006 + phase) +
                               0.30 * std::sin(x * 0.017 + 2.1 * phase) +
                               0.15 * std::sin(x * 0.041 + 0.7 * phase));
}

Rgb sky(double y, double horizon) {
    const Rgb zenith{28, 38, 92}, middle{122, 82, 140}, low{250, 160, 90};
    const double t = y / horizon;
    return t < 0.6 ? mix(zenith, middle, t / 0.6) : mix(middle, low, (t - 0.6) / 0.4);
}

Rgb landscape(double x, double y) {
    const double horizon = 520;
    const double sunX = 690, sunY = 430, sunR = 46;
    if (y < horizon) {
        Rgb c = sky(y, horizon);
        const double d = std::hypot(x - sunX, y - sunY);
        if (d < sunR)
            c = mix(Rgb{255, 236, 170}, Rgb{255, 200, 120}, d / sunR);
        else
            c = mix(c, Rgb{255, 190, 120}, 0.55 * std::exp(-(d - sunR) / 90.0));
        const double far = ridge(x, 455, 55, 0.4);
        const double near = ridge(x, 500, 70, 2.3);
        if (y > near)
            c = mix(Rgb{46, 40, 70}, Rgb{30, 28, 52}, (y - near) / 80.0);
        else if (y > far)
            c = mix(c, Rgb{92, 70, 118}, 0.85);
        return c;
    }
    // Water: the sky mirrored with ripples, darker towards the viewer.
    const double depth = (y - horizon) / (768.0 - horizon);
    const double ripple = 6.0 * std::sin(y * 0.35 + 0.02 * x) * (0.3 + depth);
    const double mirrored = std::clamp(2 * horizon - y + ripple, 0.0, horizon - 1);
    Rgb c = sky(mirrored, horizon);
    const double glitter = std::exp(-std::pow((x - sunX) / (30 + 120 * depth), 2)) *
                           (0.5 + 0.5 * std::sin(y * 0.9 + x * 0.05));
    c = mix(c, Rgb{255, 210, 140}, 0.6 * glitter);
    return mix(c, Rgb{18, 22, 48}, 0.65 * depth);
}

// Ink of the emblem at (x, y), 0..1, in a 512 x 512 frame.
double emblemInk(double x, double y) {
    const double cx = 256, cy = 256;
    const double r = std::hypot(x - cx, y - cy);
    if (r > 226 && r < 240)
        return 1.0; // the ring
    // Canopy: the upper half of a disc.
    const double canopyY = 250, canopyR = 170;
    if (y <= canopyY && std::hypot(x - cx, y - canopyY) < canopyR)
        return 1.0;
    // Shaft and hooked handle.
    if (std::abs(x - cx) < 7 && y > canopyY && y < 390)
        return 1.0;
    const double hookX = cx - 30, hookY = 390;
    const double hr = std::hypot(x - hookX, y - hookY);
    if (y > hookY && hr > 23 && hr < 37)
        return 1.0;
    return 0.0;
}

} // namespace

Image sampleCover() {
    Image image(1024, 768);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb c = landscape(x, y);
            image.at(x, y) = rgb(toByte(c.r), toByte(c.g), toByte(c.b));
        }
    return image;
}

Image sampleWatermark() {
    Image image(512, 512);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            // 4 x 4 samples a pixel for smooth edges.
            double ink = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    ink += emblemInk(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            ink /= 16;
            const double paper = 235 - 40 * std::hypot(x - 256.0, y - 256.0) / 362.0;
            const int g = toByte(paper * (1 - ink) + 40 * ink);
            image.at(x, y) = rgb(g, g, g);
        }
    return image;
}

} // namespace ombrel
