// The quad warp written the plain way, step by step as the mapping is
// defined, with no shortcuts: float loop counters, every deposit through a
// bounds-checked read and write. The engine's fast warp must give the same
// bytes.
#pragma once

#include <cmath>
#include <cstdint>

#include "EngineTestSupport.h"
#include "geom/Point2.h"

class ReferenceWarp {
public:
    ReferenceWarp(int width, int height, const Pixels& source)
        : width_(width), height_(height), source_(source), out_(source.size(), BMM_Color_64{0, 0, 0, 0})
    {}

    Pixels Warp(Point2 p0, Point2 p1, Point2 p2, Point2 p3)
    {
        const float W = static_cast<float>(width_), H = static_cast<float>(height_);
        const double WH = static_cast<double>(static_cast<std::int64_t>(width_) * height_);
        const float dxRow = static_cast<float>(((double)p2.x - (double)p0.x) / H);
        const float dyRow = static_cast<float>(((double)p2.y - (double)p0.y) / H);
        const float dxCol = static_cast<float>(((double)p3.x - (double)p0.x) / W);
        const float dyCol = static_cast<float>(((double)p3.y - (double)p0.y) / W);
        const float dxCross = static_cast<float>(((double)p1.x + (double)p0.x - (double)p2.x - (double)p3.x) / WH);
        const float dyCross = static_cast<float>(((double)p1.y + (double)p0.y - (double)p2.y - (double)p3.y) / WH);
        for (float j = 0; j < H; j += 1) {
            for (float i = 0; i < W; i += 1) {
                BMM_Color_64 pixel = source_[static_cast<std::size_t>(j) * width_ + static_cast<std::size_t>(i)];
                pixel.a = 0xFFFF;
                const double x = (double)j * (double)i * (double)dxCross + (double)i * (double)dxCol +
                                 (double)j * (double)dxRow + (double)p0.x;
                const double y = (double)j * (double)i * (double)dyCross + (double)j * (double)dyRow +
                                 (double)i * (double)dyCol + (double)p0.y;
                Splat(static_cast<float>(x), static_cast<float>(y), pixel);
            }
        }
        return out_;
    }

private:
    void Splat(float x, float y, BMM_Color_64 pixel)
    {
        const double cx = std::ceil((double)x), cy = std::ceil((double)y);
        if (!std::isfinite(cx) || !std::isfinite(cy) || std::fabs(cx) > 1e15 || std::fabs(cy) > 1e15)
            return;
        const std::int64_t ix = static_cast<std::int64_t>(cx), iy = static_cast<std::int64_t>(cy);
        Blend(ix - 1, iy - 1, pixel);
        Blend(ix - 1, iy, pixel);
        Blend(ix, iy - 1, pixel);
        Blend(ix, iy, pixel);
    }

    void Blend(std::int64_t column, std::int64_t row, BMM_Color_64 pixel)
    {
        if (column < 0 || column >= width_ || row < 0 || row >= height_)
            return;
        BMM_Color_64& stored = out_[static_cast<std::size_t>(row * width_ + column)];
        if (stored.a != 0) {
            pixel.r = static_cast<std::uint16_t>((stored.r + pixel.r) / 2);
            pixel.g = static_cast<std::uint16_t>((stored.g + pixel.g) / 2);
            pixel.b = static_cast<std::uint16_t>((stored.b + pixel.b) / 2);
            pixel.a = 0xFFFF;
        }
        stored = pixel;
    }

    int width_, height_;
    Pixels source_;
    Pixels out_;
};
