#include "shapes.h"

#include <algorithm>

#include "random.h"

Vec2 Rotate(Vec2 p, double radians) {
    double c = std::cos(radians), s = std::sin(radians);
    return {p.x * c - p.y * s, p.x * s + p.y * c};
}

double Clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

double Smoothstep(double edge0, double edge1, double v) {
    double t = Clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

double SegmentDistance(Vec2 p, Vec2 a, Vec2 b) {
    Vec2 pa = p - a, ba = b - a;
    double h = Clamp01(Dot(pa, ba) / Dot(ba, ba));
    return Length(pa - ba * h);
}

double PolygonDistance(Vec2 p, const std::vector<Vec2>& points) {
    double nearest = 1e30;
    bool inside = false;
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
        Vec2 a = points[j], b = points[i];
        nearest = std::min(nearest, SegmentDistance(p, a, b));
        if ((b.y > p.y) != (a.y > p.y) && p.x < (a.x - b.x) * (p.y - b.y) / (a.y - b.y) + b.x) {
            inside = !inside;
        }
    }
    return inside ? -nearest : nearest;
}

double RoundedBoxDistance(Vec2 p, Vec2 halfSize, double radius) {
    Vec2 q{std::abs(p.x) - halfSize.x + radius, std::abs(p.y) - halfSize.y + radius};
    Vec2 outside{std::max(q.x, 0.0), std::max(q.y, 0.0)};
    return Length(outside) + std::min(std::max(q.x, q.y), 0.0) - radius;
}

namespace {

int Wrap(int v, int period) {
    return ((v % period) + period) % period;
}

}  // namespace

double PeriodicNoise(double x, double y, int periodX, int periodY, uint32_t seed) {
    double fx = std::floor(x), fy = std::floor(y);
    int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto corner = [&](int dx, int dy) {
        return HashUnit(Wrap(x0 + dx, periodX), Wrap(y0 + dy, periodY), seed);
    };
    double top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * tx;
    double bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * tx;
    return top + (bottom - top) * ty;
}

double PeriodicFbm(double u, double v, int frequency, int octaves, uint32_t seed) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude *
               PeriodicNoise(u * frequency, v * frequency, frequency, frequency, seed + 977 * o);
        total += amplitude;
        amplitude *= 0.5;
        frequency *= 2;
    }
    return sum / total;
}

CellDistances PeriodicCells(double u, double v, int cells, uint32_t seed) {
    double x = u * cells, y = v * cells;
    int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
    CellDistances result{1e30, 1e30, 0};
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            int gx = cx + dx, gy = cy + dy;
            int wx = Wrap(gx, cells), wy = Wrap(gy, cells);
            Vec2 point{gx + 0.15 + 0.7 * HashUnit(wx, wy, seed),
                       gy + 0.15 + 0.7 * HashUnit(wx, wy, seed + 1)};
            double d = Length(point - Vec2{x, y});
            if (d < result.nearest) {
                result.second = result.nearest;
                result.nearest = d;
                result.id = static_cast<uint32_t>(wy * cells + wx);
            } else if (d < result.second) {
                result.second = d;
            }
        }
    }
    return result;
}
