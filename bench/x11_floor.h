// The floor of a lens redraw in plain Xlib: kept apart from the platform's headers, whose
// Screen object Xlib's Screen type would collide with.
#pragma once

#include <string>

typedef struct _XDisplay Display;

namespace floorbench {

// Waits until the server has carried out everything sent on dpy.
void Sync(::Display* dpy);

// A plain s x s window at (x, y) on its own connection, showing a q x q square of the root
// enlarged z times (q = s / z).
class Floor {
public:
    Floor(const std::string& display, int x, int y, int s, int z);
    ~Floor();
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    // Why the window cannot be drawn into, or empty.
    const std::string& Error() const { return error_; }
    // One frame: get the square at (squareX, squareY), enlarge it, put it, sync. False if the
    // square could not be read.
    bool Frame(int squareX, int squareY);

private:
    ::Display* dpy_ = nullptr;
    unsigned long window_ = 0;
    void* gc_ = nullptr;
    void* out_ = nullptr;   // the XImage put every frame
    int s_, z_;
    std::string error_;
};

}  // namespace floorbench
