#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

// Single-precision vectors, a 4x4 row-major matrix and an axis-aligned box.

struct Vector2 {
    float x = 0.f, y = 0.f;
    Vector2() = default;
    Vector2(float x_, float y_) : x(x_), y(y_) {}
    static Vector2 zero() { return {}; }
    friend bool operator==(const Vector2& a, const Vector2& b) { return a.x == b.x && a.y == b.y; }
};

struct Vector3 {
    float x = 0.f, y = 0.f, z = 0.f;
    Vector3() = default;
    Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    static Vector3 zero() { return {}; }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    friend Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend Vector3 operator-(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend Vector3 operator*(const Vector3& a, float s) { return {a.x * s, a.y * s, a.z * s}; }
    friend bool operator==(const Vector3& a, const Vector3& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    }
};

struct Vector4 {
    float x = 0.f, y = 0.f, z = 0.f, w = 0.f;
    Vector4() = default;
    Vector4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    static Vector4 zero() { return {}; }
    friend bool operator==(const Vector4& a, const Vector4& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
    }
};

// Row-major; rows 0 to 2 are the axes and row 3 the translation, as the
// transforms of visual nodes are stored.
struct Matrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    static const Matrix& identity() {
        static const Matrix id;
        return id;
    }
    Vector3 row3(int r) const { return {m[r][0], m[r][1], m[r][2]}; }
    void setRow3(int r, const Vector3& v) {
        m[r][0] = v.x;
        m[r][1] = v.y;
        m[r][2] = v.z;
    }
    Vector3 applyPoint(const Vector3& p) const {
        return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
                p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
                p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
    }
    friend bool operator==(const Matrix& a, const Matrix& b) {
        return std::equal(&a.m[0][0], &a.m[0][0] + 16, &b.m[0][0]);
    }
};

// True when every element of `a` is within `tolerance` of the same element of `b`.
inline bool almostEqual(const Matrix& a, const Matrix& b, float tolerance) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!(std::fabs(a.m[r][c] - b.m[r][c]) <= tolerance)) {
                return false;
            }
        }
    }
    return true;
}

inline bool almostEqual(float a, float b, float tolerance) {
    return std::fabs(a - b) <= tolerance;
}

class AABB {
  public:
    // The empty box is inside out until a point is added.
    AABB()
        : min_(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
               std::numeric_limits<float>::max()),
          max_(-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
               -std::numeric_limits<float>::max()) {}
    AABB(const Vector3& min, const Vector3& max) : min_(min), max_(max) {}

    const Vector3& minBounds() const { return min_; }
    const Vector3& maxBounds() const { return max_; }
    void setBounds(const Vector3& min, const Vector3& max) {
        min_ = min;
        max_ = max;
    }
    bool insideOut() const { return min_.x > max_.x || min_.y > max_.y || min_.z > max_.z; }
    void addBounds(const Vector3& p) {
        min_ = {std::min(min_.x, p.x), std::min(min_.y, p.y), std::min(min_.z, p.z)};
        max_ = {std::max(max_.x, p.x), std::max(max_.y, p.y), std::max(max_.z, p.z)};
    }
    void addBounds(const AABB& other) {
        if (!other.insideOut()) {
            addBounds(other.min_);
            addBounds(other.max_);
        }
    }
    float width() const { return insideOut() ? 0.f : max_.x - min_.x; }
    float height() const { return insideOut() ? 0.f : max_.y - min_.y; }
    float depth() const { return insideOut() ? 0.f : max_.z - min_.z; }

  private:
    Vector3 min_;
    Vector3 max_;
};
