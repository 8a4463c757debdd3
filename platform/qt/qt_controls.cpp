// Controls on Qt: push buttons, text and images.
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QBuffer>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include "platform/qt/qt_driver.h"
#include "platform/stdctrls.h"

namespace {

QFont ToQFont(const TFont& f) {
    QFont q(QString::fromStdString(f.Name));
    // A negative height is the character height in pixels; a positive one the cell height.
    q.setPixelSize(std::max(1, f.Height < 0 ? -f.Height : f.Height * 4 / 5));
    q.setBold(f.Style & fsBold);
    q.setItalic(f.Style & fsItalic);
    q.setUnderline(f.Style & fsUnderline);
    q.setStrikeOut(f.Style & fsStrikeOut);
    if (f.Name.find("Black") != std::string::npos) q.setWeight(QFont::Black);
    return q;
}

class QtButton : public backend::ChildControl {
public:
    QtButton(QWidget* parent, backend::ButtonEvents& events) : button_(new QPushButton(parent)) {
        button_->setAutoDefault(true);
        QObject::connect(button_, &QPushButton::clicked, [&events] { events.ButtonClicked(); });
    }
    // The window may have taken the button with it already.
    ~QtButton() override { delete button_.data(); }
    void SetBounds(int left, int top, int width, int height) override {
        if (button_) button_->setGeometry(left, top, width, height);
    }
    void SetVisible(bool visible) override {
        if (button_) button_->setVisible(visible);
    }
    void SetCaption(const std::string& caption) override {
        if (button_) button_->setText(QString::fromStdString(caption));
    }
    void SetFont(const TFont& font) override {
        if (!button_) return;
        button_->setFont(ToQFont(font));
        QPalette p = button_->palette();
        p.setColor(QPalette::ButtonText, QColor(GetRValue(font.Color), GetGValue(font.Color), GetBValue(font.Color)));
        button_->setPalette(p);
    }
    void SetFocus() override {
        if (button_) button_->setFocus(Qt::OtherFocusReason);
    }

private:
    QPointer<QPushButton> button_;
};

}  // namespace

std::unique_ptr<backend::ChildControl> MakeQtButton(QWidget* parent, backend::ButtonEvents& events) {
    return std::make_unique<QtButton>(parent, events);
}

void QtDriver::DrawText(TSurface& s, TRect r, const std::string& text, const TFont& font, int alignment) {
    if (s.Width() == 0 || s.Height() == 0 || !app_) return;
    QImage img(reinterpret_cast<uchar*>(s.Bits()), s.Width(), s.Height(), s.Width() * 4, QImage::Format_RGB32);
    QPainter p(&img);
    p.setFont(ToQFont(font));
    p.setPen(QColor(GetRValue(font.Color), GetGValue(font.Color), GetBValue(font.Color)));
    int align = alignment == taCenter ? Qt::AlignHCenter : alignment == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
    p.drawText(QRect(r.Left, r.Top, r.Width(), r.Height()), align | Qt::AlignTop | Qt::TextSingleLine,
               QString::fromStdString(text));
}

TPoint QtDriver::TextExtent(const std::string& text, const TFont& font) {
    if (!app_) return {};
    QFontMetrics m(ToQFont(font));
    return Point(m.horizontalAdvance(QString::fromStdString(text)), m.height());
}

bool QtDriver::DecodeImage(const std::vector<std::uint8_t>& data, int size, TSurface& out) {
    QByteArray bytes(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    // An icon file may hold several pictures: take the one of the wanted size, else the first.
    QImage chosen;
    for (int i = 0; i < std::max(reader.imageCount(), 1); ++i) {
        if (i > 0 && !reader.jumpToNextImage()) break;
        QImage img = reader.read();
        if (img.isNull()) continue;
        if (chosen.isNull() || img.width() == size) chosen = img;
        if (img.width() == size) break;
    }
    if (chosen.isNull()) return false;
    chosen = chosen.convertToFormat(QImage::Format_ARGB32);
    out.Resize(chosen.width(), chosen.height());
    for (int y = 0; y < chosen.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(chosen.constScanLine(y));
        std::copy(row, row + chosen.width(), out.Row(y));
    }
    return true;
}
