// Helpers for tests that run against a real X server: a private Xvfb, an optional openbox, a
// connection of the test's own for pictures, input and window inspection, and child processes.
// Plain Xlib and XTest; failures are reported as std::runtime_error (std::invalid_argument for
// bad arguments).
//
// Child processes (Xvfb, openbox, Process) are killed when the thread that started them exits,
// so start them from the thread that runs the tests. Destroy Client objects before the Xvfb
// they are connected to: Xlib ends the process when a connection's server goes away.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace xh {

class Process;

// An Xvfb server on a display number no one else uses, with one screen of width x height at
// depth 24. The constructor returns once a connection succeeds.
class Xvfb {
public:
    explicit Xvfb(int width = 1024, int height = 768);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    const std::string& Display() const { return display_; }   // ":123"
    int Number() const { return number_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_, height_;
    int number_ = -1;
    std::string display_;
    std::unique_ptr<Process> server_;
};

// openbox on a display. The constructor returns once openbox has announced itself through
// _NET_SUPPORTING_WM_CHECK on the root window.
class WindowManager {
public:
    explicit WindowManager(const std::string& display);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

private:
    std::unique_ptr<Process> wm_;
};

// The standard test picture as 0xRRGGBB, different for every pixel of a screen up to 4096 x 4096.
std::uint32_t PatternPixel(int x, int y);

// 0xRRGGBB pixels, row-major.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const;   // throws std::out_of_range outside the image
    bool SavePng(const std::string& path) const;
};

// The X errors reported on this process's Xlib connections since the last call, as text, oldest
// first. Errors that the harness provokes itself (a window vanishing while it is inspected) are
// not included. X errors never end the process while the harness is in use.
std::vector<std::string> TakeXErrors();

// A connection of the test's own to the display.
class Client {
public:
    explicit Client(const std::string& display);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    ::Display* Dpy() const { return dpy_; }
    int ScreenWidth() const;
    int ScreenHeight() const;

    // Makes the picture the root window's background and waits until the server has drawn it.
    void SetRootPicture(const std::function<std::uint32_t(int x, int y)>& pixel = PatternPixel);

    // The screen as displayed, w x h pixels from (x, y); pixels outside the screen are 0.
    Image Grab(int x, int y, int w, int h);

    // Real input through XTest; each call returns once the server has processed it.
    void MovePointer(int x, int y);
    void Press(int button);     // 1 left, 2 middle, 3 right
    void Release(int button);
    void Click(int button);
    void KeyTap(const std::string& keysym);   // "Return", "Escape", "l", "A" (with Shift) ...
    std::pair<int, int> PointerPosition();

    // Children of the root and their children (a window manager puts clients into frames) whose
    // WM_NAME or _NET_WM_NAME is title, bottom to top.
    std::vector<unsigned long> FindWindowsByTitle(const std::string& title);

    // Position of the window's top-left inner pixel on the root, its inner size, and whether it
    // is viewable (mapped, and so are all its ancestors). Throws if the window does not exist.
    struct Geometry {
        int x, y, width, height;
        bool mapped;
    };
    Geometry WindowGeometry(unsigned long window);

    // _NET_WM_NAME, or WM_NAME when that is missing, as UTF-8. Throws if the window does not exist.
    std::string WindowTitle(unsigned long window);

    // The bounding shape as rectangles {x, y, width, height} relative to the window's origin;
    // empty when the window has no shape set. Throws if the window does not exist.
    std::vector<std::array<int, 4>> ShapeRects(unsigned long window);

private:
    void RequireXTest();
    std::string display_name_;
    ::Display* dpy_ = nullptr;
    bool xtest_checked_ = false;
};

// Evaluates cond every few milliseconds, calling pump (when given) between evaluations, until it
// is true or timeout_ms has passed; returns the last value of cond.
bool WaitUntil(const std::function<bool()>& cond, int timeout_ms = 5000,
               const std::function<void()>& pump = {});

// A child process in a process group of its own, stdin from /dev/null, stdout and stderr
// captured. env entries "NAME=value" are added to this process's environment; "NAME=" removes
// NAME. Throws if the program cannot be found or executed.
class Process {
public:
    Process(std::vector<std::string> argv, std::vector<std::string> env = {});
    ~Process();   // SIGTERM to the group, SIGKILL if that is not enough
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int Pid() const { return pid_; }
    bool Running();
    int Wait(int timeout_ms = 10000);   // exit status, or 128 + signal; throws on timeout
    void Kill(int sig = 15);
    std::string Stdout() const;   // what has been written so far
    std::string Stderr() const;

private:
    bool Poll();   // true once the child has ended; the zombie is kept so the group stays ours

    std::string name_;
    int pid_ = -1;
    bool ended_ = false;
    bool lost_ = false;   // reaped by someone else
    int status_ = 0;
    int out_fd_ = -1, err_fd_ = -1;
};

}  // namespace xh
