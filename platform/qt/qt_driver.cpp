// The Qt 6 backend: windows, the event loop, the screen, strokes and message boxes.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/backend.h"
#include "platform/gdi_geometry.h"
#include "platform/qt/qt_driver.h"
#include "platform/sysutils.h"

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (mods & Qt::ShiftModifier) s |= ssShift;
    if (mods & Qt::AltModifier) s |= ssAlt;
    if (mods & Qt::ControlModifier) s |= ssCtrl;
    if (buttons & Qt::LeftButton) s |= ssLeft;
    if (buttons & Qt::RightButton) s |= ssRight;
    if (buttons & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

bool ButtonOf(Qt::MouseButton b, TMouseButton* out) {
    switch (b) {
        case Qt::LeftButton: *out = mbLeft; return true;
        case Qt::RightButton: *out = mbRight; return true;
        case Qt::MiddleButton: *out = mbMiddle; return true;
        default: return false;
    }
}

QRegion ToQRegion(const gdi::PixelRegion& r) {
    std::vector<QRect> rects;
    for (const TRect& t : r.Rects()) rects.emplace_back(t.Left, t.Top, t.Width(), t.Height());
    QRegion q;
    q.setRects(rects.data(), static_cast<int>(rects.size()));
    return q;
}

QImage Wrap(TSurface& s) {
    return QImage(reinterpret_cast<uchar*>(s.Bits()), s.Width(), s.Height(), s.Width() * 4, QImage::Format_RGB32);
}

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

class QtWindow;

class FormWidget : public QWidget {
public:
    FormWidget(QtWindow& owner, backend::WindowEvents& events) : owner_(owner), events_(events) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
    }
    bool presentOnly = false;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override {
        TMouseButton b;
        if (!ButtonOf(e->button(), &b)) return;
        QPoint p = e->position().toPoint();
        events_.WindowMouseDown(b, ShiftOf(e->modifiers(), e->buttons()), p.x(), p.y());
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        TMouseButton b;
        if (!ButtonOf(e->button(), &b)) return;
        QPoint p = e->position().toPoint();
        QPoint g = e->globalPosition().toPoint();
        events_.WindowMouseUp(b, ShiftOf(e->modifiers(), e->buttons()), p.x(), p.y());
        // The context menu comes with the right button's release.
        if (b == mbRight) events_.WindowContextMenu(g.x(), g.y());
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        TMouseButton b;
        if (!ButtonOf(e->button(), &b)) return;
        QPoint p = e->position().toPoint();
        TShiftState s = ShiftOf(e->modifiers(), e->buttons());
        if (b == mbLeft) events_.WindowDblClick(s, p.x(), p.y());
        else events_.WindowMouseDown(b, s | ssDouble, p.x(), p.y());
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        QPoint p = e->position().toPoint();
        events_.WindowMouseMove(ShiftOf(e->modifiers(), e->buttons()), p.x(), p.y());
    }
    void leaveEvent(QEvent*) override {
        // Leaving the window is a move to nowhere: hovered controls hear of it.
        events_.WindowMouseMove(ShiftOf(QGuiApplication::keyboardModifiers(), QGuiApplication::mouseButtons()), -1, -1);
    }
    void contextMenuEvent(QContextMenuEvent* e) override { e->accept(); }
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    QtWindow& owner_;
    backend::WindowEvents& events_;
};

class QtWindow : public backend::Window {
public:
    QtWindow(QtDriver& driver, backend::WindowEvents& events) : driver_(driver), events_(events) {}
    ~QtWindow() override { delete widget_; }

    void SetStyle(const backend::WindowStyle& style) override {
        style_ = style;
        if (widget_) ApplyFlags();
    }
    void SetTitle(const std::string& title) override {
        title_ = title;
        if (widget_) widget_->setWindowTitle(QString::fromStdString(title));
    }
    void SetBounds(int left, int top, int width, int height) override {
        bool moved = left != bounds_.Left || top != bounds_.Top;
        bounds_ = Rect(left, top, left + width, top + height);
        if (!widget_) return;
        // A hidden window is moved for good only once the window manager has mapped it; the
        // notices before that (a fresh frame at the screen's corner, say) are history too.
        if (moved) settling_ = true;
        widget_->move(left, top);
        if (widget_->size() != QSize(width, height)) ApplySize();
    }
    TRect Bounds() const override { return bounds_; }
    TPoint ClientOrigin() const override {
        TPoint origin = Point(bounds_.Left, bounds_.Top);
        if (widget_ && !driver_.WindowOrigin(widget_->winId(), &origin)) {
            QPoint p = widget_->geometry().topLeft();
            origin = Point(p.x(), p.y());
        }
        return origin;
    }
    void SetVisible(bool visible) override {
        visible_ = visible;
        if (visible) {
            Realize();
            widget_->setWindowModality(modal_ ? Qt::ApplicationModal : Qt::NonModal);
            widget_->show();
            if (hasShape_ && widget_->windowHandle()) widget_->windowHandle()->setMask(shape_);
        } else if (widget_) {
            widget_->hide();
        }
    }
    bool Visible() const override { return widget_ && widget_->isVisible(); }
    void Minimize() override {
        if (widget_) widget_->showMinimized();
    }
    void Restore() override {
        if (widget_) widget_->showNormal();
    }
    void Realize() override {
        if (widget_) return;
        driver_.RequireInitialized();
        widget_ = new FormWidget(*this, events_);
        ApplyFlags();
        widget_->setWindowTitle(QString::fromStdString(title_));
        widget_->move(bounds_.Left, bounds_.Top);
        ApplySize();
        if (!icon_.isNull()) widget_->setWindowIcon(icon_);
        widget_->winId();
        if (hasShape_) widget_->windowHandle()->setMask(shape_);
        if (cursorId_) SetCursor(cursorId_);
    }
    bool Realized() const override { return widget_ != nullptr; }
    std::uintptr_t NativeId() override {
        Realize();
        return static_cast<std::uintptr_t>(widget_->winId());
    }
    void SetShape(const gdi::PixelRegion* region) override {
        hasShape_ = region != nullptr;
        shape_ = region ? ToQRegion(*region) : QRegion();
        if (widget_ && widget_->windowHandle()) widget_->windowHandle()->setMask(shape_);
    }
    void Invalidate(TRect r) override {
        if (widget_ && widget_->isVisible()) widget_->update(QRect(r.Left, r.Top, r.Width(), r.Height()));
    }
    void UpdateNow() override {
        if (widget_ && widget_->isVisible()) QCoreApplication::sendPostedEvents(widget_, QEvent::UpdateRequest);
    }
    void Present(TRect r) override {
        if (!widget_ || !widget_->isVisible()) return;
        widget_->presentOnly = true;
        widget_->repaint(QRect(r.Left, r.Top, r.Width(), r.Height()));
        widget_->presentOnly = false;
    }
    void SetCursor(int cursorId) override {
        cursorId_ = cursorId;
        if (!widget_) return;
        if (const QCursor* c = driver_.Cursor(cursorId)) widget_->setCursor(*c);
        else widget_->unsetCursor();
    }
    void SetModal(bool modal) override { modal_ = modal; }
    void RunModal(const std::function<bool()>& finished) override {
        while (!finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    void SetIcon(const std::vector<std::uint8_t>& data) override {
        QPixmap pm;
        pm.loadFromData(data.data(), static_cast<uint>(data.size()));
        icon_ = QIcon(pm);
        if (widget_) widget_->setWindowIcon(icon_);
    }

    std::unique_ptr<backend::ChildControl> CreateButton(backend::ButtonEvents& events) override {
        Realize();
        return MakeQtButton(widget_, events);
    }

    backend::WindowEvents& Events() { return events_; }
    void Moved() {
        // A hidden window is where we last put it. Qt hands on the move of a hidden window
        // when it shows it, before it has told the server: the server still has the old place.
        if (!widget_->isVisible()) return;
        // Some window managers leave Qt with the position inside their frame; ask the server.
        QPoint p = widget_->pos();
        TPoint origin;
        if (driver_.WindowOrigin(widget_->winId(), &origin)) {
            QPoint margin = widget_->geometry().topLeft() - widget_->pos();
            p = QPoint(origin.X, origin.Y) - margin;
        }
        // Notices of our own moves arrive late, one per move: until the last one we asked for
        // has come, they are history. Only a move we did not ask for is news.
        if (settling_) {
            if (p == QPoint(bounds_.Left, bounds_.Top)) settling_ = false;
            return;
        }
        if (p == QPoint(bounds_.Left, bounds_.Top)) return;
        bounds_ = Rect(p.x(), p.y(), p.x() + bounds_.Width(), p.y() + bounds_.Height());
        events_.WindowMoved(p.x(), p.y());
    }

private:
    void ApplyFlags() {
        Qt::WindowFlags f = Qt::Window;
        switch (style_.kind) {
            case backend::WindowKind::Borderless: f |= Qt::FramelessWindowHint; break;
            case backend::WindowKind::ToolWindow:
                f = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
                break;
            case backend::WindowKind::Normal: break;
        }
        if (style_.stayOnTop) f |= Qt::WindowStaysOnTopHint;
        bool wasVisible = widget_->isVisible();
        widget_->setWindowFlags(f);
        ApplySize();
        if (wasVisible) widget_->show();
    }
    void ApplySize() {
        int w = std::max(bounds_.Width(), 1), h = std::max(bounds_.Height(), 1);
        if (style_.resizable) {
            widget_->setMinimumSize(0, 0);
            widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            widget_->resize(w, h);
        } else {
            widget_->setFixedSize(w, h);
        }
    }

    QtDriver& driver_;
    backend::WindowEvents& events_;
    FormWidget* widget_ = nullptr;
    backend::WindowStyle style_;
    std::string title_;
    TRect bounds_;
    bool visible_ = false;
    bool modal_ = false;
    bool hasShape_ = false;
    QRegion shape_;
    QIcon icon_;
    int cursorId_ = 0;
    bool settling_ = false;
};

void FormWidget::paintEvent(QPaintEvent* e) {
    TSurface& s = events_.WindowSurface();
    if (!presentOnly) {
        QRect r = e->rect();
        events_.WindowPaint(Rect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height()));
    }
    if (s.Width() == 0 || s.Height() == 0) return;
    QPainter p(this);
    QImage img = Wrap(s);
    p.drawImage(e->rect().topLeft(), img, e->rect());
}

void FormWidget::closeEvent(QCloseEvent* e) {
    // The form decides whether it closes.
    e->ignore();
    events_.WindowCloseRequest();
}

void FormWidget::moveEvent(QMoveEvent*) { owner_.Moved(); }

void FormWidget::showEvent(QShowEvent*) { events_.WindowShown(); }

}  // namespace

// ---------------------------------------------------------------------------

namespace {
// Qt ends the process on a fatal error (the X server went away, say) with an abort and a core
// dump; say what happened and leave with a failure status instead.
void OnQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // Qt only warns when the X server goes away, and then fails on the dead connection.
    bool lostServer = message.startsWith(QLatin1String("The X11 connection broke"));
    if (type == QtFatalMsg || lostServer) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(message));
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (type != QtDebugMsg && type != QtInfoMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}
}  // namespace

void QtDriver::Initialize() {
    if (app_) return;
    qInstallMessageHandler(OnQtMessage);
    // Forms are not scaled: one unit is one device pixel.
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    unsetenv("QT_SCALE_FACTOR");
    unsetenv("QT_SCREEN_SCALE_FACTORS");
    unsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
    unsetenv("QT_SCALE_FACTOR_ROUNDING_POLICY");
    // The lens reads the screen, which only X11 allows; under Wayland that means XWayland.
    const char* qpa = getenv("QT_QPA_PLATFORM");
    if (!qpa || !*qpa) setenv("QT_QPA_PLATFORM", "xcb", 1);
    qpa = getenv("QT_QPA_PLATFORM");
    if (std::strncmp(qpa, "xcb", 3) == 0) {
        const char* display = getenv("DISPLAY");
        int screen = 0;
        xcb_connection_t* probe = xcb_connect(nullptr, &screen);
        bool ok = probe && !xcb_connection_has_error(probe);
        if (probe) xcb_disconnect(probe);
        if (!ok)
            throw Exception(std::string("This program needs an X11 display, and none could be opened") +
                            (display && *display ? std::string(" at DISPLAY=") + display : " (DISPLAY is not set)"));
    }
    static int argc = 1;
    static char name[] = "lenti";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt must go while its own statics still exist, that is before the static destructors of
    // what was created before it.
    std::atexit([] { static_cast<QtDriver&>(backend::TheDriver()).Shutdown(); });
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        xcb_ = x11->connection();
        const xcb_setup_t* setup = xcb_get_setup(xcb_);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
        if (it.rem) {
            root_ = it.data->root;
            rootWidth_ = it.data->width_in_pixels;
            rootHeight_ = it.data->height_in_pixels;
            rootDepth_ = it.data->root_depth;
        }
        for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
            if (f.data->depth == rootDepth_) rootBpp_ = f.data->bits_per_pixel;
    }
}

void QtDriver::Shutdown() {
    cursors_.clear();
    xcb_ = nullptr;
    app_.reset();
}

void QtDriver::RequireInitialized() const {
    if (!app_) throw Exception("The window system is not ready: Application->Initialize has not run");
}

std::unique_ptr<backend::Window> QtDriver::CreateWindow(backend::WindowEvents& events) {
    return std::make_unique<QtWindow>(*this, events);
}

void QtDriver::RunLoop(const std::function<bool()>& finished) {
    RequireInitialized();
    while (!finished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtDriver::ProcessMessages() {
    if (!app_) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtDriver::Quit() {
    if (auto* d = QCoreApplication::eventDispatcher()) d->wakeUp();
}

void QtDriver::ShowMessage(const std::string& title, const std::string& text) {
    if (!app_) return;
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
    // The box made globals of Qt's own that the exit handler set up at start-up would outlive,
    // and Qt must go before them as well.
    std::atexit([] { static_cast<QtDriver&>(backend::TheDriver()).Shutdown(); });
}

TRect QtDriver::ScreenRect() const {
    if (!app_ || !QGuiApplication::primaryScreen()) return {};
    QRect r = QGuiApplication::primaryScreen()->geometry();
    return Rect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

TRect QtDriver::DesktopRect() const {
    if (!app_ || !QGuiApplication::primaryScreen()) return {};
    QRect r = QGuiApplication::primaryScreen()->virtualGeometry();
    return Rect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

TPoint QtDriver::CursorPos() const {
    if (!app_) return {};
    QPoint p = QCursor::pos();
    return Point(p.x(), p.y());
}

bool QtDriver::ReadScreen(int x, int y, int w, int h, std::uint32_t* dst, int stride) {
    for (int row = 0; row < h; ++row)
        std::fill(dst + static_cast<std::ptrdiff_t>(row) * stride, dst + static_cast<std::ptrdiff_t>(row) * stride + w,
                  0xFF000000u);
    if (!xcb_ || failScreenReads_) return false;
    // Only the part on the screen can be read; a request beyond the root fails outright.
    long long cx0 = std::max<long long>(x, 0), cy0 = std::max<long long>(y, 0);
    long long cx1 = std::min<long long>(static_cast<long long>(x) + w, rootWidth_);
    long long cy1 = std::min<long long>(static_cast<long long>(y) + h, rootHeight_);
    if (cx1 <= cx0 || cy1 <= cy0) return true;
    if (rootBpp_ != 32 || (rootDepth_ != 24 && rootDepth_ != 32)) return ReadScreenSlow(x, y, w, h, dst, stride);
    int cw = static_cast<int>(cx1 - cx0), ch = static_cast<int>(cy1 - cy0);
    xcb_get_image_cookie_t cookie =
        xcb_get_image(xcb_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<int16_t>(cx0), static_cast<int16_t>(cy0),
                      static_cast<uint16_t>(cw), static_cast<uint16_t>(ch), ~0u);
    xcb_generic_error_t* error = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(xcb_, cookie, &error);
    if (error) std::free(error);
    if (!reply) return false;
    const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply));
    int length = xcb_get_image_data_length(reply);
    bool ok = length >= cw * ch * 4;
    if (ok) {
        for (int row = 0; row < ch; ++row) {
            const std::uint32_t* s = data + static_cast<std::ptrdiff_t>(row) * cw;
            std::uint32_t* d = dst + static_cast<std::ptrdiff_t>(cy0 - y + row) * stride + (cx0 - x);
            for (int i = 0; i < cw; ++i) d[i] = s[i] | 0xFF000000u;
        }
    }
    std::free(reply);
    return ok;
}

bool QtDriver::ReadScreenSlow(int x, int y, int w, int h, std::uint32_t* dst, int stride) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return false;
    QImage img = screen->grabWindow(0, x, y, w, h).toImage().convertToFormat(QImage::Format_RGB32);
    if (img.isNull()) return false;
    for (int row = 0; row < std::min(h, img.height()); ++row) {
        const auto* s = reinterpret_cast<const std::uint32_t*>(img.constScanLine(row));
        std::copy(s, s + std::min(w, img.width()), dst + static_cast<std::ptrdiff_t>(row) * stride);
    }
    return true;
}

namespace {
void UseStrokePen(QPainter& p, TColor color, int width) {
    p.setRenderHint(QPainter::Antialiasing, false);
    // A point names a pixel, and a wide pen is centred on that pixel's centre. Qt centres it on
    // the point itself, the pixel's top-left corner, which puts the stroke half a pixel up and
    // to the left. A one-pixel pen already lights the pixel the point names.
    if (width > 1) p.translate(0.5, 0.5);
    p.setPen(QPen(ToQColor(color), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}
}  // namespace

void QtDriver::StrokeLine(TSurface& s, TPoint a, TPoint b, TColor color, int width) {
    if (s.Width() == 0 || s.Height() == 0) return;
    QImage img = Wrap(s);
    QPainter p(&img);
    UseStrokePen(p, color, width);
    p.drawLine(a.X, a.Y, b.X, b.Y);
}

void QtDriver::StrokeArc(TSurface& s, TRect box, double startDegrees, double spanDegrees, TColor color, int width) {
    if (s.Width() == 0 || s.Height() == 0) return;
    QImage img = Wrap(s);
    QPainter p(&img);
    UseStrokePen(p, color, width);
    // The box excludes its right and bottom edges.
    QRectF r(box.Left, box.Top, box.Width() - 1, box.Height() - 1);
    p.drawArc(r, static_cast<int>(std::lround(startDegrees * 16)), static_cast<int>(std::lround(spanDegrees * 16)));
}

void QtDriver::Beep(unsigned /*type*/) {
    if (app_) QApplication::beep();
    ++beeps_;
}

int QtDriver::LoadCursor(const std::vector<std::uint8_t>& curFile) {
    if (!app_) return 0;
    // A .cur file: ICONDIR with type 2, whose entries carry the hot spot in place of planes/bpp.
    if (curFile.size() < 22) return 0;
    auto u16 = [&](std::size_t at) { return static_cast<int>(curFile[at] | (curFile[at + 1] << 8)); };
    if (u16(0) != 0 || u16(2) != 2 || u16(4) < 1) return 0;
    int hotX = u16(6 + 4), hotY = u16(6 + 6);
    QImage img;
    if (!img.loadFromData(curFile.data(), static_cast<int>(curFile.size()), "CUR") &&
        !img.loadFromData(curFile.data(), static_cast<int>(curFile.size()), "ICO"))
        return 0;
    int id = nextCursor_++;
    cursors_.emplace(id, QCursor(QPixmap::fromImage(img), hotX, hotY));
    return id;
}

const QCursor* QtDriver::Cursor(int id) const {
    auto it = cursors_.find(id);
    return it == cursors_.end() ? nullptr : &it->second;
}

bool QtDriver::WindowOrigin(std::uintptr_t window, TPoint* origin) const {
    if (!xcb_) return false;
    xcb_translate_coordinates_cookie_t c =
        xcb_translate_coordinates(xcb_, static_cast<xcb_window_t>(window), root_, 0, 0);
    xcb_generic_error_t* error = nullptr;
    xcb_translate_coordinates_reply_t* r = xcb_translate_coordinates_reply(xcb_, c, &error);
    if (error) std::free(error);
    if (!r) return false;
    *origin = Point(r->dst_x, r->dst_y);
    std::free(r);
    return true;
}

backend::Driver& backend::TheDriver() {
    // Never destroyed: a QApplication taken down by an exit handler crashes, because some of
    // Qt's own globals are gone by then. The process's end closes the connection.
    static QtDriver* driver = new QtDriver;
    return *driver;
}
