#pragma once
// Scoped device contexts and drawing objects: whatever a message takes is given back on every path
// out of it, in the reverse order of taking. Declare the context first, then the objects made for
// it, then their selections.
#include <windows.h>

// A window's device context from GetDC, released at the end of the scope.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedGetDC() { ReleaseDC(window_, dc_); }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    operator HDC() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// A font, brush or region made in this scope, deleted at its end (after its selection is undone).
template <typename Handle>
class ScopedGdiObject {
public:
    explicit ScopedGdiObject(Handle object) : object_(object) {}
    ~ScopedGdiObject() { DeleteObject(object_); }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
    operator Handle() const { return object_; }

private:
    Handle object_;
};

// An object selected into a context; what it replaced is selected back at the end of the scope.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelectObject() { SelectObject(dc_, previous_); }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A memory device context with its own bitmap selected, for drawing resources that outlive one
// message (from start-up to exit, or a cache): Reset, or the end of its life, unselects the bitmap
// and deletes both.
class OwnedMemoryDc {
public:
    OwnedMemoryDc() = default;
    ~OwnedMemoryDc() { Reset(); }
    OwnedMemoryDc(const OwnedMemoryDc&) = delete;
    OwnedMemoryDc& operator=(const OwnedMemoryDc&) = delete;
    operator HDC() const { return dc_; }

    // A context compatible with like, holding bitmap, which it takes over.
    void Make(HDC like, HBITMAP bitmap)
    {
        Reset();
        dc_ = CreateCompatibleDC(like);
        bitmap_ = bitmap;
        previous_ = SelectObject(dc_, bitmap_);
    }

    void Reset()
    {
        if (!dc_) return;
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        dc_ = nullptr;
        bitmap_ = nullptr;
        previous_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};
