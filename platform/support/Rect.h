// platform/support/Rect.h: points and rectangles in screen coordinates.
#pragma once

struct BPoint {
    BPoint() = default;
    BPoint(float x, float y)
        : x(x)
        , y(y)
    {
    }
    bool operator==(const BPoint& other) const { return x == other.x && y == other.y; }
    float x = 0;
    float y = 0;
};

struct BRect {
    BRect() = default;
    BRect(float left, float top, float right, float bottom)
        : left(left)
        , top(top)
        , right(right)
        , bottom(bottom)
    {
    }
    BPoint LeftTop() const { return BPoint(left, top); }
    float Width() const { return right - left; }
    float Height() const { return bottom - top; }
    float left = 0;
    float top = 0;
    float right = -1;
    float bottom = -1;
};
