// SPDX-License-Identifier: Apache-2.0
#include "support/reference.h"

#include "support/digits.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace ombrel::test {

namespace {

struct FMatrix {
    int maxX, maxY;
    std::vector<float> v;
    FMatrix(int mx, int my) : maxX(mx), maxY(my), v(static_cast<std::size_t>(mx + 1) * (my + 1)) {}
    float &operator()(int x, int y) { return v[static_cast<std::size_t>(y) * (maxX + 1) + x]; }
};

int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

std::string Left(const std::string &s, int n) { return s.substr(0, n); }
std::string Right(const std::string &s, int n) { return s.substr(s.size() - n); }
std::string Mid(const std::string &s, int from, int n) { return s.substr(from - 1, n); }

ColourWord reassemble(const std::string &s) {
    return bin2dec(digitsAsDecimal(Mid(s, 1, 8))) * 65536 +
           bin2dec(digitsAsDecimal(Mid(s, 9, 8))) * 256 + bin2dec(digitsAsDecimal(Mid(s, 17, 8)));
}

// One level of the forward transform with its two halving passes.
void fwdwavelet(FMatrix &source, int n, FMatrix &level1, FMatrix &coeff) {
    FMatrix r(512, 512), c(512, 512);
    const float h = n / 2.0f;
    if (n == 256)
        for (int y = 1; y <= 512; ++y)
            for (int x = 1; x <= 512; ++x)
                r(x, y) = level1(x, y);
    for (int y = 1; y <= n; ++y)
        for (int x = 1; x <= n; ++x) {
            if (x <= h)
                r(x, y) = (source(2 * x - 1, y) + source(2 * x, y)) / 2;
            else {
                const int k = x - static_cast<int>(h);
                r(x, y) = source(2 * k - 1, y) / 2 - source(2 * k, y) / 2;
            }
        }
    for (int x = 1; x <= n; ++x)
        for (int y = 1; y <= n; ++y) {
            if (y <= h)
                c(x, y) = (r(x, 2 * y - 1) + r(x, 2 * y)) / 2;
            else {
                const int k = y - static_cast<int>(h);
                c(x, y) = (r(x, 2 * k - 1) - r(x, 2 * k)) / 2;
            }
        }
    if (n == 256)
        for (int y = 1; y <= 512; ++y)
            for (int x = 1; x <= 512; ++x)
                if (x >= 257 || y >= 257)
                    c(x, y) = r(x, y);
    FMatrix &target = n == 512 ? level1 : coeff;
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            target(x, y) = static_cast<float>(roundEven(c(x, y)));
}

FMatrix invwavelet(FMatrix &p, int level) {
    const int n = level == 2 ? 256 : 512, h = n / 2;
    FMatrix t = p;
    for (int x = 1; x <= n; ++x)
        for (int y = 1; y <= n; ++y)
            t(x, y) = y % 2 ? p(x, (y + 1) / 2) + p(x, (y + 1) / 2 + h) : p(x, y / 2) - p(x, y / 2 + h);
    FMatrix u = t;
    for (int y = 1; y <= n; ++y)
        for (int x = 1; x <= n; ++x)
            u(x, y) = x % 2 ? t((x + 1) / 2, y) + t((x + 1) / 2 + h, y) : t(x / 2, y) - t(x / 2 + h, y);
    return u;
}

void detailPixel(Surface &cover, FMatrix &covermatrix, int column, int row, float value) {
    const std::string d = dec2bin(roundEven(value), 3);
    const std::string t = dec2bin(roundEven(covermatrix(column, row)), 24);
    const std::string s = Left(t, 7) + Right(d, 1) + Mid(t, 9, 7) + Left(d, 1) + Mid(t, 17, 7) + Mid(d, 2, 1);
    cover.pset(column, row, reassemble(s));
}

int detailValue(ColourWord w) {
    const std::string s = dec2bin(w, 24);
    return bin2dec(digitsAsDecimal(s.substr(15, 1) + s.substr(23, 1) + s.substr(7, 1)));
}

} // namespace

ReferenceEmbed referenceEmbed(const Image &coverImage, const Image &watermarkImage, int threshold) {
    Surface cover(1024, 768), water(333, 377), wavelet(536, 536);
    cover.load(coverImage);
    water.load(watermarkImage);
    FMatrix covermatrix(1024, 768), watermatrix(512, 512), level1(512, 512), coeff(512, 512);
    for (int y = 1; y <= 768; ++y)
        for (int x = 1; x <= 1024; ++x)
            covermatrix(x, y) = static_cast<float>(cover.point(x, y));
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            watermatrix(x, y) = static_cast<float>(water.point(x, y) & 255);
    fwdwavelet(watermatrix, 512, level1, coeff);
    fwdwavelet(level1, 256, level1, coeff);
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x) {
            if (coeff(x, y) < threshold)
                coeff(x, y) = 0;
            coeff(x, y) = std::fabs(coeff(x, y));
        }
    auto draw = [&] {
        for (int y = 1; y <= 512; ++y)
            for (int x = 1; x <= 512; ++x) {
                const int g = roundEven(coeff(x, y));
                wavelet.pset(x, y, rgb(g, g, g));
            }
        return wavelet.image();
    };
    ReferenceEmbed out;
    out.firstPicture = draw();
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            if (!(x <= 128 && y <= 128))
                // Saturated at 7: three bits cannot carry 8.
                coeff(x, y) = std::min(std::floor(std::floor(coeff(x, y)) / 16), 7.0f);
    out.secondPicture = draw();

    for (int y = 1; y <= 128; ++y)
        for (int g = 1; g <= 43; ++g) {
            const std::string s1 = dec2bin(roundEven(coeff(3 * g - 2, y)), 8);
            const std::string s2 = dec2bin(roundEven(coeff(3 * g - 1, y)), 8);
            const std::string s3 = g == 43 ? "11111111" : dec2bin(roundEven(coeff(3 * g, y)), 8);
            const int q = (y % 2 ? 101 : 103) + 20 * (g - 1);
            std::string t[4];
            for (int k = 0; k < 4; ++k)
                t[k] = dec2bin(roundEven(covermatrix(q + 5 * k, y)), 24);
            const std::string p[4] = {
                Left(t[0], 6) + Left(s1, 2) + Mid(t[0], 9, 6) + Mid(s2, 7, 2) + Mid(t[0], 17, 6) + Mid(s3, 3, 2),
                Left(t[1], 6) + Mid(s1, 5, 2) + Mid(t[1], 9, 6) + Mid(s2, 5, 2) + Mid(t[1], 17, 6) + Mid(s3, 7, 2),
                Left(t[2], 6) + Left(s3, 2) + Mid(t[2], 9, 6) + Mid(s2, 3, 2) + Mid(t[2], 17, 6) + Mid(s1, 3, 2),
                Left(t[3], 6) + Right(s1, 2) + Mid(t[3], 9, 6) + Left(s2, 2) + Mid(t[3], 17, 6) + Mid(s3, 5, 2),
            };
            for (int k = 0; k < 4; ++k)
                cover.pset(q + 5 * k, y, reassemble(p[k]));
        }
    for (int y = 1; y <= 512; ++y)
        for (int x = 129; x <= 512; ++x)
            detailPixel(cover, covermatrix, y % 2 ? 2 * (x - 129) + 1 : 2 * (x - 129) + 256, y + 128, coeff(x, y));
    for (int x = 1; x <= 128; ++x)
        for (int y = 129; y <= 512; ++y)
            detailPixel(cover, covermatrix, x % 2 ? 2 * (y - 128) + 1 : 2 * (y - 128) + 256, x + 640, coeff(x, y));
    out.watermarked = cover.image();
    return out;
}

Image referenceExtract(const Image &image) {
    Surface cover(1024, 768), picture(512, 512);
    cover.load(image);
    std::vector<ColourWord> covermatrix(1025 * 769);
    auto cm = [&](int x, int y) -> ColourWord & { return covermatrix[y * 1025 + x]; };
    for (int y = 1; y <= 768; ++y)
        for (int x = 1; x <= 1024; ++x)
            cm(x, y) = cover.point(x, y);
    FMatrix coeff(512, 512);
    for (int y = 1; y <= 128; ++y)
        for (int g = 1; g <= 43; ++g) {
            const int c0 = (y % 2 ? 101 : 103) + 20 * (g - 1);
            std::string s[4];
            for (int k = 0; k < 4; ++k)
                s[k] = dec2bin(cm(c0 + 5 * k, y), 24);
            const std::string a = Mid(s[0], 7, 2) + Mid(s[2], 23, 2) + Mid(s[1], 7, 2) + Mid(s[3], 7, 2);
            const std::string b = Mid(s[3], 15, 2) + Mid(s[2], 15, 2) + Mid(s[1], 15, 2) + Mid(s[0], 15, 2);
            const std::string c = Mid(s[2], 7, 2) + Mid(s[0], 23, 2) + Mid(s[3], 23, 2) + Mid(s[1], 23, 2);
            coeff(3 * g - 2, y) = static_cast<float>(bin2dec(digitsAsDecimal(a)));
            coeff(3 * g - 1, y) = static_cast<float>(bin2dec(digitsAsDecimal(b)));
            if (g != 43)
                coeff(3 * g, y) = static_cast<float>(bin2dec(digitsAsDecimal(c)));
        }
    for (int y = 1; y <= 512; ++y)
        for (int x = 129; x <= 512; ++x)
            coeff(x, y) = static_cast<float>(detailValue(cm(y % 2 ? 1 + 2 * (x - 129) : 256 + 2 * (x - 129), y + 128)));
    for (int x = 1; x <= 128; ++x)
        for (int y = 129; y <= 512; ++y)
            coeff(x, y) = static_cast<float>(detailValue(cm(x % 2 ? 2 * (y - 128) + 1 : 2 * (y - 128) + 256, x + 640)));
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            if (!(x < 129 && y < 129))
                coeff(x, y) = std::floor(coeff(x, y) * 16);
    FMatrix level1 = invwavelet(coeff, 2);
    FMatrix water = invwavelet(level1, 1);
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x) {
            const int g = roundEven(std::fabs(water(x, y)));
            picture.pset(x, y, rgb(g, g, g));
        }
    return picture.image();
}

} // namespace ombrel::test
