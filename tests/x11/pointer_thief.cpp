#include "tests/x11/pointer_thief.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace lenstest {

class PointerThief::Widget : public QWidget {
public:
    Widget() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}
    int releases = 0;

protected:
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

PointerThief::PointerThief() : widget_(std::make_unique<Widget>()) {
    widget_->setGeometry(1000, 4, 16, 16);
    widget_->show();
}

PointerThief::~PointerThief() { widget_->releaseMouse(); }

bool PointerThief::Shown() const { return widget_->windowHandle() && widget_->windowHandle()->isExposed(); }

bool PointerThief::Take() {
    widget_->grabMouse();
    return QWidget::mouseGrabber() == widget_.get();
}

void PointerThief::GiveBack() { widget_->releaseMouse(); }

int PointerThief::Releases() const { return widget_->releases; }

}  // namespace lenstest
