// Rectangle arithmetic. A rectangle whose right edge is not right of its
// left edge, or whose bottom is not below its top, is empty; empty results
// are stored as all zeroes, as the platform does.
#include <tarvel/gdi.h>

#include <algorithm>
#include <cstdint>

extern "C" {

BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom)
{
    if (!lprc) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

BOOL SetRectEmpty(RECT* lprc)
{
    if (!lprc) return FALSE;
    *lprc = RECT{0, 0, 0, 0};
    return TRUE;
}

BOOL IsRectEmpty(const RECT* lprc)
{
    if (!lprc) return TRUE;
    return lprc->right <= lprc->left || lprc->bottom <= lprc->top;
}

BOOL UnionRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2)
{
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    RECT a = *lprcSrc1;
    RECT b = *lprcSrc2;
    bool emptyA = IsRectEmpty(&a);
    bool emptyB = IsRectEmpty(&b);
    if (emptyA && emptyB) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    if (emptyA) {
        *lprcDst = b;
    } else if (emptyB) {
        *lprcDst = a;
    } else {
        *lprcDst = RECT{std::min(a.left, b.left), std::min(a.top, b.top),
                        std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
    }
    return TRUE;
}

BOOL IntersectRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2)
{
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    RECT a = *lprcSrc1;
    RECT b = *lprcSrc2;
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (IsRectEmpty(&a) || IsRectEmpty(&b) || IsRectEmpty(&r)) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    *lprcDst = r;
    return TRUE;
}

BOOL OffsetRect(RECT* lprc, int dx, int dy)
{
    if (!lprc) return FALSE;
    // Wraps around like the platform's 32-bit arithmetic instead of
    // overflowing.
    auto add = [](LONG v, int d) { return LONG(std::uint32_t(v) + std::uint32_t(d)); };
    lprc->left = add(lprc->left, dx);
    lprc->right = add(lprc->right, dx);
    lprc->top = add(lprc->top, dy);
    lprc->bottom = add(lprc->bottom, dy);
    return TRUE;
}

}  // extern "C"
