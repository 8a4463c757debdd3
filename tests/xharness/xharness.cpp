#include "tests/xharness/xharness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace xh {
namespace {

// ---------------------------------------------------------------------------------------------
// X errors

struct XErrorRecord {
    ::Display* dpy;
    unsigned long serial;
    int error_code, request_code, minor_code;
    unsigned long resource;
};

std::mutex g_errors_mutex;
std::vector<XErrorRecord> g_errors;

int RecordXError(::Display* dpy, XErrorEvent* e) {
    std::lock_guard<std::mutex> lock(g_errors_mutex);
    g_errors.push_back({dpy, e->serial, e->error_code, e->request_code, e->minor_code, e->resourceid});
    return 0;
}

::Display* OpenDisplay(const std::string& name) {
    static std::once_flag installed;
    std::call_once(installed, [] { XSetErrorHandler(RecordXError); });
    return XOpenDisplay(name.c_str());
}

struct DisplayCloser {
    void operator()(::Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<::Display, DisplayCloser>;

// Swallows the errors caused by the requests made during its lifetime, so that inspecting a
// window that has just been destroyed reports a failure to the caller instead of a stray error.
class ErrorTrap {
public:
    explicit ErrorTrap(::Display* dpy) : dpy_(dpy), first_(NextRequest(dpy)) {}
    ~ErrorTrap() {
        if (!ended_) End();
    }
    // True if any of those requests failed.
    bool End() {
        ended_ = true;
        XSync(dpy_, False);
        std::lock_guard<std::mutex> lock(g_errors_mutex);
        const auto mine = [this](const XErrorRecord& r) { return r.dpy == dpy_ && r.serial >= first_; };
        const auto before = g_errors.size();
        g_errors.erase(std::remove_if(g_errors.begin(), g_errors.end(), mine), g_errors.end());
        return g_errors.size() != before;
    }

private:
    ::Display* dpy_;
    unsigned long first_;
    bool ended_ = false;
};

std::string ErrorName(int code) {
    static const char* const names[] = {
        "Success",   "BadRequest", "BadValue",    "BadWindow",   "BadPixmap", "BadAtom",
        "BadCursor", "BadFont",    "BadMatch",    "BadDrawable", "BadAccess", "BadAlloc",
        "BadColor",  "BadGC",      "BadIDChoice", "BadName",     "BadLength", "BadImplementation"};
    if (code >= 0 && code < static_cast<int>(std::size(names))) return names[code];
    return "error " + std::to_string(code);
}

std::string Hex(unsigned long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", v);
    return buf;
}

// ---------------------------------------------------------------------------------------------
// Child processes

bool IsExecutableFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string FindProgram(const std::string& name, const char* path_var) {
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    const std::string path = path_var ? path_var : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

std::string EnvName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) env.emplace_back(*e);
    for (const std::string& entry : extra) {
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0)
            throw std::invalid_argument("environment entry is not NAME=value: \"" + entry + "\"");
        const std::string name = entry.substr(0, eq);
        std::erase_if(env, [&](const std::string& e) { return EnvName(e) == name; });
        if (eq + 1 < entry.size()) env.push_back(entry);
    }
    return env;
}

const char* FindEnv(const std::vector<std::string>& env, const std::string& name) {
    for (const std::string& e : env)
        if (EnvName(e) == name && e.size() > name.size()) return e.c_str() + name.size() + 1;
    return nullptr;
}

// The descriptors handed to a child live at 10 and above so that putting them at 0..2 in the
// child can never overwrite one another.
int MoveHigh(int fd) {
    if (fd < 0) return fd;
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    const int saved = errno;
    ::close(fd);
    if (high < 0) throw std::runtime_error(std::string("fcntl(F_DUPFD_CLOEXEC): ") + std::strerror(saved));
    return high;
}

// An unlinked temporary file: the child writes into it, Stdout()/Stderr() read it with pread so
// the shared file offset stays where the child left it.
int MakeCaptureFile() {
    char name[] = "/tmp/xh-capture-XXXXXX";
    const int fd = ::mkostemp(name, O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(std::string("cannot create a capture file: ") + std::strerror(errno));
    ::unlink(name);
    return MoveHigh(fd);
}

std::string ReadWhole(int fd) {
    std::string out;
    if (fd < 0) return out;
    char buf[65536];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// SIGTERM, then SIGKILL when the process has not ended after grace_ms.
void Stop(Process& p, int grace_ms) {
    if (!p.Running()) return;
    p.Kill(SIGTERM);
    if (WaitUntil([&] { return !p.Running(); }, grace_ms)) return;
    p.Kill(SIGKILL);
    WaitUntil([&] { return !p.Running(); }, 5000);
}

bool PathExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

// ---------------------------------------------------------------------------------------------
// Pixels

struct Channel {
    int shift = 0;
    unsigned long max = 0;   // largest value of the channel, before shifting
};

Channel ChannelOf(unsigned long mask) {
    Channel c;
    if (mask == 0) return c;
    while (!(mask & 1)) {
        mask >>= 1;
        ++c.shift;
    }
    c.max = mask;
    return c;
}

struct PixelFormat {
    Channel r, g, b;

    explicit PixelFormat(const Visual* v) {
        if (v->c_class != TrueColor && v->c_class != DirectColor)
            throw std::runtime_error("the screen's default visual is not TrueColor");
        r = ChannelOf(v->red_mask);
        g = ChannelOf(v->green_mask);
        b = ChannelOf(v->blue_mask);
    }
    static unsigned long Put(unsigned value8, const Channel& c) {
        return ((value8 * c.max + 127) / 255) << c.shift;
    }
    static std::uint32_t Get(unsigned long pixel, const Channel& c) {
        if (c.max == 0) return 0;
        return static_cast<std::uint32_t>((((pixel >> c.shift) & c.max) * 255 + c.max / 2) / c.max);
    }
    unsigned long Encode(std::uint32_t rgb) const {
        return Put((rgb >> 16) & 0xFF, r) | Put((rgb >> 8) & 0xFF, g) | Put(rgb & 0xFF, b);
    }
    std::uint32_t Decode(unsigned long pixel) const {
        return (Get(pixel, r) << 16) | (Get(pixel, g) << 8) | Get(pixel, b);
    }
};

// ---------------------------------------------------------------------------------------------
// PNG: fixed-Huffman deflate with a small LZ77 match finder, so that screenshots need no library.

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void Bits(std::uint32_t value, int count) {
        acc_ |= value << used_;
        used_ += count;
        while (used_ >= 8) {
            out_.push_back(static_cast<std::uint8_t>(acc_ & 0xFF));
            acc_ >>= 8;
            used_ -= 8;
        }
    }
    // Huffman codes go out most significant bit first.
    void Code(std::uint32_t code, int length) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1) << (length - 1 - i);
        Bits(reversed, length);
    }
    void Flush() {
        if (used_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ & 0xFF));
        acc_ = 0;
        used_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint32_t acc_ = 0;
    int used_ = 0;
};

void PutLiteralOrLength(BitWriter& bw, int symbol) {
    if (symbol < 144) bw.Code(0x30 + symbol, 8);
    else if (symbol < 256) bw.Code(0x190 + symbol - 144, 9);
    else if (symbol < 280) bw.Code(symbol - 256, 7);
    else bw.Code(0xC0 + symbol - 280, 8);
}

void PutMatch(BitWriter& bw, int length, int distance) {
    static const int len_base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int len_extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int dist_base[] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int dist_extra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int i = 28;
    while (len_base[i] > length) --i;
    PutLiteralOrLength(bw, 257 + i);
    bw.Bits(static_cast<std::uint32_t>(length - len_base[i]), len_extra[i]);
    int j = 29;
    while (dist_base[j] > distance) --j;
    bw.Code(static_cast<std::uint32_t>(j), 5);
    bw.Bits(static_cast<std::uint32_t>(distance - dist_base[j]), dist_extra[j]);
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data) {
    constexpr int kWindow = 32768, kMaxMatch = 258, kMinMatch = 3, kMaxChain = 48;
    constexpr int kHashBits = 15;
    std::vector<std::uint8_t> out;
    BitWriter bw(out);
    bw.Bits(1, 1);   // final block
    bw.Bits(1, 2);   // fixed Huffman codes
    const int n = static_cast<int>(data.size());
    std::vector<int> head(1 << kHashBits, -1), prev(kWindow, -1);
    const auto hash = [&](int i) {
        const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        return static_cast<int>((v * 2654435761u) >> (32 - kHashBits));
    };
    const auto insert = [&](int i) {
        if (i + kMinMatch > n) return;
        const int h = hash(i);
        prev[i & (kWindow - 1)] = head[h];
        head[h] = i;
    };
    int i = 0;
    while (i < n) {
        int best = 0, best_distance = 0;
        if (i + kMinMatch <= n) {
            const int limit = std::min(kMaxMatch, n - i);
            int candidate = head[hash(i)];
            for (int chain = 0; candidate >= 0 && i - candidate < kWindow && chain < kMaxChain; ++chain) {
                int len = 0;
                while (len < limit && data[candidate + len] == data[i + len]) ++len;
                if (len > best) {
                    best = len;
                    best_distance = i - candidate;
                    if (len == limit) break;
                }
                const int next = prev[candidate & (kWindow - 1)];
                if (next >= candidate) break;   // the slot was reused by a newer position
                candidate = next;
            }
        }
        if (best >= kMinMatch) {
            PutMatch(bw, best, best_distance);
            for (int k = 0; k < best; ++k) insert(i + k);
            i += best;
        } else {
            PutLiteralOrLength(bw, data[i]);
            insert(i);
            ++i;
        }
    }
    PutLiteralOrLength(bw, 256);
    bw.Flush();
    return out;
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t k = 0; k < 256; ++k) {
            std::uint32_t c = k;
            for (int j = 0; j < 8; ++j) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[k] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t k = 0; k < n; ++k) crc = table[(crc ^ p[k]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void PutChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& body) {
    PutBig32(png, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    PutBig32(png, Crc32(png.data() + start, png.size() - start));
}

// ---------------------------------------------------------------------------------------------
// Window properties

std::optional<std::string> ReadProperty(::Display* dpy, Window w, Atom property, Atom* type_out) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, property, 0, 1 << 16, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
        return std::nullopt;
    std::optional<std::string> result;
    if (type != None && format == 8 && data) result.emplace(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    if (type_out) *type_out = type;
    return result;
}

std::string Latin1ToUtf8(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::optional<std::string> WmName(::Display* dpy, Window w) {
    Atom type = None;
    std::optional<std::string> raw = ReadProperty(dpy, w, XA_WM_NAME, &type);
    if (!raw) return raw;
    if (type == XA_STRING) return Latin1ToUtf8(*raw);
    if (type == XInternAtom(dpy, "COMPOUND_TEXT", False) &&
        std::any_of(raw->begin(), raw->end(), [](char c) { return c == 0x1B || (c & 0x80); })) {
        XTextProperty tp{reinterpret_cast<unsigned char*>(raw->data()), type, 8, raw->size()};
        char** list = nullptr;
        int n = 0;
        if (Xutf8TextPropertyToTextList(dpy, &tp, &list, &n) >= Success && n > 0 && list) {
            std::string s = list[0];
            XFreeStringList(list);
            return s;
        }
    }
    return raw;
}

std::optional<std::string> NetWmName(::Display* dpy, Window w) {
    return ReadProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), nullptr);
}

std::optional<Window> WindowProperty(::Display* dpy, Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<Window> result;
    if (XGetWindowProperty(dpy, w, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
            Success &&
        type == XA_WINDOW && format == 32 && count == 1 && data)
        result = static_cast<Window>(reinterpret_cast<unsigned long*>(data)[0]);
    if (data) XFree(data);
    return result;
}

// A window manager sets _NET_SUPPORTING_WM_CHECK on the root and on a child window of its own;
// one left behind by a window manager that has gone points at a window that no longer exists.
bool WindowManagerAnnounced(::Display* dpy) {
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    ErrorTrap trap(dpy);
    const std::optional<Window> w = WindowProperty(dpy, DefaultRootWindow(dpy), check);
    const std::optional<Window> self = w ? WindowProperty(dpy, *w, check) : std::nullopt;
    const bool failed = trap.End();
    return !failed && w && self && *self == *w;
}

}  // namespace

// =============================================================================================

std::vector<std::string> TakeXErrors() {
    std::vector<XErrorRecord> taken;
    {
        std::lock_guard<std::mutex> lock(g_errors_mutex);
        taken.swap(g_errors);
    }
    std::vector<std::string> text;
    for (const XErrorRecord& r : taken)
        text.push_back("X error " + ErrorName(r.error_code) + " in request " + std::to_string(r.request_code) +
                       "." + std::to_string(r.minor_code) + " on resource " + Hex(r.resource) + " (serial " +
                       std::to_string(r.serial) + ")");
    return text;
}

// ---------------------------------------------------------------------------------------------
// Process

Process::Process(std::vector<std::string> argv, std::vector<std::string> env_extra) {
    if (argv.empty()) throw std::invalid_argument("Process: empty argv");
    name_ = argv[0];
    const std::vector<std::string> env = MergedEnvironment(env_extra);
    const std::string path = FindProgram(argv[0], FindEnv(env, "PATH"));
    if (path.empty()) throw std::runtime_error("program not found: " + argv[0]);

    int null_fd = -1, report_read = -1, report_write = -1;
    const auto close_all = [&] {
        for (int fd : {null_fd, report_read, report_write})
            if (fd >= 0) ::close(fd);
    };
    const auto close_captures = [&] {
        for (int* fd : {&out_fd_, &err_fd_})
            if (*fd >= 0) ::close(std::exchange(*fd, -1));
    };
    try {
        out_fd_ = MakeCaptureFile();
        err_fd_ = MakeCaptureFile();
        null_fd = MoveHigh(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        if (null_fd < 0) throw std::runtime_error("cannot open /dev/null");
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        report_read = report[0];
        report_write = MoveHigh(report[1]);
    } catch (...) {
        close_all();
        close_captures();
        throw;
    }

    std::vector<char*> c_argv, c_env;
    for (std::string& a : argv) c_argv.push_back(a.data());
    c_argv.push_back(nullptr);
    std::vector<std::string> env_copy = env;
    for (std::string& e : env_copy) c_env.push_back(e.data());
    c_env.push_back(nullptr);
    const long max_fd = std::min(::sysconf(_SC_OPEN_MAX), 65536L);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        const int e = errno;
        close_all();
        close_captures();
        throw std::runtime_error("fork failed: " + std::string(std::strerror(e)));
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on: the parent may have other threads.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        struct sigaction dfl{};
        dfl.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s)
            if (s != SIGKILL && s != SIGSTOP) ::sigaction(s, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(null_fd, 0);
        ::dup2(out_fd_, 1);
        ::dup2(err_fd_, 2);
        const int first_closed = 3;
        const unsigned keep = static_cast<unsigned>(report_write);
        if (::close_range(first_closed, keep - 1, 0) != 0 || ::close_range(keep + 1, ~0U, 0) != 0) {
            for (long fd = first_closed; fd < max_fd; ++fd)
                if (fd != report_write) ::close(static_cast<int>(fd));
        }
        ::execve(path.c_str(), c_argv.data(), c_env.data());
        const int e = errno;
        ssize_t ignored = ::write(report_write, &e, sizeof e);
        (void)ignored;
        ::_exit(127);
    }

    ::setpgid(pid, pid);   // also from here, so that the group exists before we return
    ::close(report_write);
    report_write = -1;
    int exec_errno = 0;
    ssize_t got;
    do {
        got = ::read(report_read, &exec_errno, sizeof exec_errno);
    } while (got < 0 && errno == EINTR);
    close_all();
    pid_ = pid;
    if (got == static_cast<ssize_t>(sizeof exec_errno)) {
        int st = 0;
        ::waitpid(pid, &st, 0);
        pid_ = -1;
        close_captures();
        throw std::runtime_error("cannot execute " + path + ": " + std::strerror(exec_errno));
    }
}

Process::~Process() {
    if (pid_ > 0 && !(Poll() && lost_)) {
        if (!Poll()) {
            ::kill(-pid_, SIGTERM);
            if (!WaitUntil([this] { return Poll(); }, 2000)) ::kill(-pid_, SIGKILL);
        }
        // The leader is a zombie now, so the group id cannot have been reused: anything the
        // child left running in it goes too.
        ::kill(-pid_, SIGKILL);
        int st = 0;
        while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
    }
    if (out_fd_ >= 0) ::close(out_fd_);
    if (err_fd_ >= 0) ::close(err_fd_);
}

bool Process::Poll() {
    if (ended_) return true;
    siginfo_t info{};
    int r;
    do {
        r = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        // Someone else reaped it (SIGCHLD ignored, or a stray waitpid(-1)): the status is lost.
        ended_ = true;
        lost_ = true;
        status_ = -1;
        return true;
    }
    if (info.si_pid != pid_) return false;
    ended_ = true;
    status_ = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
    return true;
}

bool Process::Running() { return !Poll(); }

int Process::Wait(int timeout_ms) {
    if (!WaitUntil([this] { return Poll(); }, timeout_ms, {}))
        throw std::runtime_error(name_ + " (pid " + std::to_string(pid_) + ") still running after " +
                                 std::to_string(timeout_ms) + " ms");
    return status_;
}

void Process::Kill(int sig) {
    if (!Poll()) ::kill(pid_, sig);
}

std::string Process::Stdout() const { return ReadWhole(out_fd_); }
std::string Process::Stderr() const { return ReadWhole(err_fd_); }

// ---------------------------------------------------------------------------------------------
// Xvfb

Xvfb::Xvfb(int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        throw std::invalid_argument("Xvfb: bad screen size " + std::to_string(width) + "x" + std::to_string(height));
    if (FindProgram("Xvfb", std::getenv("PATH")).empty())
        throw std::runtime_error("Xvfb is not installed (not found in PATH); install the xvfb package");

    constexpr int kFirst = 100, kCount = 800, kTries = 40, kStartMs = 10000;
    const int start = static_cast<int>(::getpid() % kCount);
    std::string last_output;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        const int n = kFirst + (start + attempt) % kCount;
        const std::string num = std::to_string(n);
        const std::string lock = "/tmp/.X" + num + "-lock";
        if (PathExists(lock) || PathExists("/tmp/.X11-unix/X" + num)) continue;

        auto server = std::make_unique<Process>(std::vector<std::string>{
            "Xvfb", ":" + num, "-noreset", "-nolisten", "tcp", "-screen", "0",
            std::to_string(width) + "x" + std::to_string(height) + "x24"});
        // Xvfb takes the lock file atomically before it listens, and writes its pid into it: a
        // server that answers while the lock names our child is ours. Another process may have
        // taken the number since we looked, and then our server gives up.
        enum class State { kStarting, kReady, kTaken, kFailed } state = State::kStarting;
        DisplayPtr probe;
        const bool settled = WaitUntil(
            [&] {
                if (!server->Running()) {
                    const std::string err = server->Stderr();
                    state = err.find("already active") != std::string::npos ? State::kTaken : State::kFailed;
                    return true;
                }
                std::ifstream in(lock);
                int owner = 0;
                if (!(in >> owner)) return false;
                if (owner != server->Pid()) {
                    state = State::kTaken;
                    return true;
                }
                probe.reset(OpenDisplay(":" + num));
                if (probe) state = State::kReady;
                return probe != nullptr;
            },
            kStartMs);
        last_output = server->Stderr();
        if (state == State::kReady) {
            number_ = n;
            display_ = ":" + num;
            server_ = std::move(server);
            return;
        }
        if (state == State::kTaken) {
            Stop(*server, 2000);
            continue;
        }
        if (!settled) {
            Stop(*server, 2000);
            throw std::runtime_error("Xvfb on :" + num + " did not come up within " + std::to_string(kStartMs / 1000) +
                                     " s:\n" + last_output);
        }
        throw std::runtime_error("Xvfb on :" + num + " failed with status " + std::to_string(server->Wait(0)) +
                                 ":\n" + last_output);
    }
    throw std::runtime_error("no free display number for Xvfb after " + std::to_string(kTries) + " tries" +
                             (last_output.empty() ? std::string() : ":\n" + last_output));
}

Xvfb::~Xvfb() {
    if (!server_) return;
    try {
        const int pid = server_->Pid();
        Stop(*server_, 3000);
        // A server killed with SIGKILL leaves its lock and socket behind.
        const std::string lock = "/tmp/.X" + std::to_string(number_) + "-lock";
        std::ifstream in(lock);
        int owner = 0;
        if (in >> owner && owner == pid) {
            ::unlink(lock.c_str());
            ::unlink(("/tmp/.X11-unix/X" + std::to_string(number_)).c_str());
        }
    } catch (...) {
    }
    server_.reset();
}

// ---------------------------------------------------------------------------------------------
// WindowManager

WindowManager::WindowManager(const std::string& display) {
    if (FindProgram("openbox", std::getenv("PATH")).empty())
        throw std::runtime_error("openbox is not installed (not found in PATH); install the openbox package");
    DisplayPtr dpy(OpenDisplay(display));
    if (!dpy) throw std::runtime_error("WindowManager: cannot connect to X display " + display);
    // openbox gives up quietly when another window manager holds the screen; the other one's
    // announcement would then look like ours.
    const std::string selection = "WM_S" + std::to_string(DefaultScreen(dpy.get()));
    if (XGetSelectionOwner(dpy.get(), XInternAtom(dpy.get(), selection.c_str(), False)) != None)
        throw std::runtime_error("a window manager is already running on " + display);
    wm_ = std::make_unique<Process>(std::vector<std::string>{"openbox", "--sm-disable"},
                                    std::vector<std::string>{"DISPLAY=" + display});
    const auto fail = [&](const std::string& what) {
        return std::runtime_error("openbox on " + display + " " + what + ":\n" + wm_->Stderr());
    };
    constexpr int kStartMs = 10000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMs);
    const auto left_ms = [&] {
        return static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                   .count()));
    };
    const bool announced = WaitUntil([&] { return !wm_->Running() || WindowManagerAnnounced(dpy.get()); }, kStartMs);
    if (!wm_->Running()) throw fail("exited with status " + std::to_string(wm_->Wait(0)));
    if (!announced) throw fail("did not set _NET_SUPPORTING_WM_CHECK within 10 s");

    // For a while after the announcement openbox still throws away map requests, so a window
    // shown then would stay unmapped for good. It is ready once it puts a window into a frame;
    // the probe is mapped again until that happens.
    ::Display* d = dpy.get();
    const Window root = DefaultRootWindow(d);
    const Window probe = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
    XStoreName(d, probe, "xharness window manager probe");
    auto last_map = std::chrono::steady_clock::time_point{};
    const bool managed = WaitUntil(
        [&] {
            if (!wm_->Running()) return true;
            Window r = None, parent = None, *kids = nullptr;
            unsigned n = 0;
            if (XQueryTree(d, probe, &r, &parent, &kids, &n) && kids) XFree(kids);
            if (parent != None && parent != root) return true;
            const auto now = std::chrono::steady_clock::now();
            if (now - last_map > std::chrono::milliseconds(100)) {
                XMapWindow(d, probe);
                XSync(d, False);
                last_map = now;
            }
            return false;
        },
        left_ms());
    XDestroyWindow(d, probe);
    XSync(d, False);
    if (!wm_->Running()) throw fail("exited with status " + std::to_string(wm_->Wait(0)));
    if (!managed) throw fail("did not manage a window within 10 s");
}

WindowManager::~WindowManager() {
    if (!wm_) return;
    try {
        Stop(*wm_, 3000);
    } catch (...) {
    }
    wm_.reset();
}

// ---------------------------------------------------------------------------------------------
// Pattern and images

std::uint32_t PatternPixel(int x, int y) {
    const std::uint32_t r = static_cast<std::uint32_t>(x) & 0xFF;
    const std::uint32_t g = static_cast<std::uint32_t>(y) & 0xFF;
    const std::uint32_t b = ((static_cast<std::uint32_t>(x) >> 8) & 0x0F) | (((static_cast<std::uint32_t>(y) >> 8) & 0x0F) << 4);
    return (r << 16) | (g << 8) | b;
}

std::uint32_t Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        throw std::out_of_range("Image::At(" + std::to_string(x) + ", " + std::to_string(y) + ") outside " +
                                std::to_string(width) + "x" + std::to_string(height));
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

bool Image::SavePng(const std::string& path) const {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<std::size_t>(width) * height) return false;
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);   // no filter
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    const std::vector<std::uint8_t> deflated = Deflate(raw);
    zlib.insert(zlib.end(), deflated.begin(), deflated.end());
    PutBig32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});   // 8 bits per sample, RGB
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out.flush());
}

// ---------------------------------------------------------------------------------------------
// Client

Client::Client(const std::string& display) : display_name_(display) {
    dpy_ = OpenDisplay(display);
    if (!dpy_) throw std::runtime_error("cannot connect to X display " + display);
}

Client::~Client() {
    if (dpy_) XCloseDisplay(dpy_);
}

int Client::ScreenWidth() const { return DisplayWidth(dpy_, DefaultScreen(dpy_)); }
int Client::ScreenHeight() const { return DisplayHeight(dpy_, DefaultScreen(dpy_)); }

void Client::SetRootPicture(const std::function<std::uint32_t(int x, int y)>& pixel) {
    const int screen = DefaultScreen(dpy_);
    const Window root = RootWindow(dpy_, screen);
    const int w = ScreenWidth(), h = ScreenHeight();
    const int depth = DefaultDepth(dpy_, screen);
    Visual* visual = DefaultVisual(dpy_, screen);
    const PixelFormat format(visual);

    const auto destroy = [](XImage* img) {
        img->data = nullptr;   // owned by the vector below
        XDestroyImage(img);
    };
    std::unique_ptr<XImage, decltype(destroy)> img(
        XCreateImage(dpy_, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr, static_cast<unsigned>(w),
                     static_cast<unsigned>(h), 32, 0),
        destroy);
    if (!img) throw std::runtime_error("XCreateImage failed");
    std::vector<char> data(static_cast<std::size_t>(img->bytes_per_line) * static_cast<std::size_t>(h));
    img->data = data.data();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) XPutPixel(img.get(), x, y, format.Encode(pixel(x, y)));

    ErrorTrap trap(dpy_);
    const Pixmap pm = XCreatePixmap(dpy_, root, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                    static_cast<unsigned>(depth));
    GC gc = XCreateGC(dpy_, pm, 0, nullptr);
    XPutImage(dpy_, pm, gc, img.get(), 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XFreeGC(dpy_, gc);
    // The root keeps the picture after the pixmap's id is freed.
    XSetWindowBackgroundPixmap(dpy_, root, pm);
    XClearWindow(dpy_, root);
    XFreePixmap(dpy_, pm);
    if (trap.End()) throw std::runtime_error("setting the root window's picture failed");
}

Image Client::Grab(int x, int y, int w, int h) {
    if (w < 0 || h < 0) throw std::invalid_argument("Grab: negative size");
    Image out;
    out.width = w;
    out.height = h;
    out.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    const long long x0 = std::max<long long>(x, 0), y0 = std::max<long long>(y, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(x) + w, ScreenWidth());
    const long long y1 = std::min<long long>(static_cast<long long>(y) + h, ScreenHeight());
    if (x1 <= x0 || y1 <= y0) return out;

    const PixelFormat format(DefaultVisual(dpy_, DefaultScreen(dpy_)));
    ErrorTrap trap(dpy_);
    XImage* img = XGetImage(dpy_, DefaultRootWindow(dpy_), static_cast<int>(x0), static_cast<int>(y0),
                            static_cast<unsigned>(x1 - x0), static_cast<unsigned>(y1 - y0), AllPlanes, ZPixmap);
    const bool failed = trap.End();
    if (!img || failed) {
        if (img) XDestroyImage(img);
        throw std::runtime_error("XGetImage on the root window failed");
    }
    for (long long yy = y0; yy < y1; ++yy)
        for (long long xx = x0; xx < x1; ++xx)
            out.pixels[static_cast<std::size_t>((yy - y) * w + (xx - x))] =
                format.Decode(XGetPixel(img, static_cast<int>(xx - x0), static_cast<int>(yy - y0)));
    XDestroyImage(img);
    return out;
}

void Client::RequireXTest() {
    if (xtest_checked_) return;
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy_, &event_base, &error_base, &major, &minor))
        throw std::runtime_error("the X server on " + display_name_ + " has no XTEST extension");
    xtest_checked_ = true;
}

void Client::MovePointer(int x, int y) {
    RequireXTest();
    XTestFakeMotionEvent(dpy_, DefaultScreen(dpy_), x, y, CurrentTime);
    XSync(dpy_, False);
}

void Client::Press(int button) {
    RequireXTest();
    if (button < 1 || button > 255) throw std::invalid_argument("bad button " + std::to_string(button));
    XTestFakeButtonEvent(dpy_, static_cast<unsigned>(button), True, CurrentTime);
    XSync(dpy_, False);
}

void Client::Release(int button) {
    RequireXTest();
    if (button < 1 || button > 255) throw std::invalid_argument("bad button " + std::to_string(button));
    XTestFakeButtonEvent(dpy_, static_cast<unsigned>(button), False, CurrentTime);
    XSync(dpy_, False);
}

void Client::Click(int button) {
    Press(button);
    Release(button);
}

void Client::KeyTap(const std::string& keysym) {
    RequireXTest();
    const KeySym sym = XStringToKeysym(keysym.c_str());
    if (sym == NoSymbol) throw std::invalid_argument("unknown keysym \"" + keysym + "\"");
    const KeyCode code = XKeysymToKeycode(dpy_, sym);
    if (code == 0) throw std::runtime_error("no key produces \"" + keysym + "\" in the current keymap");

    // "A" is found on the key of "a"; it needs Shift held.
    int per_code = 0;
    KeySym* map = XGetKeyboardMapping(dpy_, code, 1, &per_code);
    bool shift = false;
    if (map) {
        if (map[0] != sym) {
            KeySym lower = NoSymbol, upper = NoSymbol;
            XConvertCase(map[0], &lower, &upper);
            shift = (per_code >= 2 && map[1] == sym) ||
                    ((per_code < 2 || map[1] == NoSymbol) && upper == sym && lower != sym);
        }
        XFree(map);
    }
    const KeyCode shift_code = XKeysymToKeycode(dpy_, XK_Shift_L);
    if (shift && shift_code) XTestFakeKeyEvent(dpy_, shift_code, True, CurrentTime);
    XTestFakeKeyEvent(dpy_, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy_, code, False, CurrentTime);
    if (shift && shift_code) XTestFakeKeyEvent(dpy_, shift_code, False, CurrentTime);
    XSync(dpy_, False);
}

std::pair<int, int> Client::PointerPosition() {
    Window root = None, child = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(dpy_, DefaultRootWindow(dpy_), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return {rx, ry};
}

std::vector<unsigned long> Client::FindWindowsByTitle(const std::string& title) {
    std::vector<unsigned long> found;
    const auto matches = [&](Window w) {
        return NetWmName(dpy_, w) == title || WmName(dpy_, w) == title;
    };
    const auto children = [&](Window w) {
        Window root = None, parent = None, *kids = nullptr;
        unsigned n = 0;
        std::vector<Window> list;
        if (XQueryTree(dpy_, w, &root, &parent, &kids, &n) && kids) list.assign(kids, kids + n);
        if (kids) XFree(kids);
        return list;
    };
    // Windows may vanish while we look; the errors that causes are of no interest.
    ErrorTrap trap(dpy_);
    for (Window top : children(DefaultRootWindow(dpy_))) {
        if (matches(top)) found.push_back(top);
        for (Window inner : children(top))
            if (matches(inner)) found.push_back(inner);
    }
    trap.End();
    return found;
}

Client::Geometry Client::WindowGeometry(unsigned long window) {
    ErrorTrap trap(dpy_);
    XWindowAttributes attrs{};
    const Status ok = XGetWindowAttributes(dpy_, window, &attrs);
    int rx = 0, ry = 0;
    Window child = None;
    XTranslateCoordinates(dpy_, window, DefaultRootWindow(dpy_), 0, 0, &rx, &ry, &child);
    if (trap.End() || !ok) throw std::runtime_error("window " + Hex(window) + " does not exist");
    return {rx, ry, attrs.width, attrs.height, attrs.map_state == IsViewable};
}

std::string Client::WindowTitle(unsigned long window) {
    ErrorTrap trap(dpy_);
    std::optional<std::string> title = NetWmName(dpy_, window);
    if (!title) title = WmName(dpy_, window);
    if (trap.End()) throw std::runtime_error("window " + Hex(window) + " does not exist");
    return title.value_or(std::string());
}

std::vector<std::array<int, 4>> Client::ShapeRects(unsigned long window) {
    int event_base = 0, error_base = 0;
    if (!XShapeQueryExtension(dpy_, &event_base, &error_base))
        throw std::runtime_error("the X server on " + display_name_ + " has no SHAPE extension");
    ErrorTrap trap(dpy_);
    Bool bounding_shaped = False, clip_shaped = False;
    int xb = 0, yb = 0, xc = 0, yc = 0;
    unsigned wb = 0, hb = 0, wc = 0, hc = 0;
    const Status ok =
        XShapeQueryExtents(dpy_, window, &bounding_shaped, &xb, &yb, &wb, &hb, &clip_shaped, &xc, &yc, &wc, &hc);
    std::vector<std::array<int, 4>> rects;
    if (ok && bounding_shaped) {
        int count = 0, ordering = 0;
        XRectangle* r = XShapeGetRectangles(dpy_, window, ShapeBounding, &count, &ordering);
        for (int i = 0; r && i < count; ++i) rects.push_back({r[i].x, r[i].y, r[i].width, r[i].height});
        if (r) XFree(r);
    }
    if (trap.End() || !ok) throw std::runtime_error("window " + Hex(window) + " does not exist");
    return rects;
}

// ---------------------------------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& cond, int timeout_ms, const std::function<void()>& pump) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    for (;;) {
        if (cond()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (pump) pump();
        SleepMs(pump ? 2 : 5);
    }
}

}  // namespace xh
