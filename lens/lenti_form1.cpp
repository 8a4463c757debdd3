#include "lens/lenti_form1.h"

#include "app/Unit2.h"

#include <string>

TForm1* Form1 = nullptr;

TForm1::TForm1(TComponent* Owner) : TForm(Owner) {}

const TPublishedTable& TForm1::Published() const {
    static const TPublishedTable table = {
        {
            PublishedField("PopupMenu1", &TForm1::PopupMenu1),
            PublishedField("Exit1", &TForm1::Exit1),
            PublishedField("N1", &TForm1::N1),
            PublishedField("KLENTICOR1", &TForm1::KLENTICOR1),
            PublishedField("KM1", &TForm1::KM1),
            PublishedField("N2", &TForm1::N2),
            PublishedField("K1", &TForm1::K1),
            PublishedField("K2", &TForm1::K2),
            PublishedField("K3", &TForm1::K3),
            PublishedField("LargeL1", &TForm1::LargeL1),
            PublishedField("N4", &TForm1::N4),
            PublishedField("MediumM1", &TForm1::MediumM1),
            PublishedField("SmallS1", &TForm1::SmallS1),
            PublishedField("Rotate1", &TForm1::Rotate1),
            PublishedField("TopLeft", &TForm1::TopLeft),
            PublishedField("TopRight", &TForm1::TopRight),
            PublishedField("BottomLeft", &TForm1::BottomLeft),
            PublishedField("BottomRight31", &TForm1::BottomRight31),
            PublishedField("ColorC1", &TForm1::ColorC1),
            PublishedField("Black1", &TForm1::Black1),
            PublishedField("Red1", &TForm1::Red1),
            PublishedField("Green1", &TForm1::Green1),
            PublishedField("N3", &TForm1::N3),
        },
        {
            PublishedMethod("FormCreate", &TForm1::FormCreate),
            PublishedMethod("FormShow", &TForm1::FormShow),
            PublishedMethod("FormPaint", &TForm1::FormPaint),
            PublishedMethod("FormClose", &TForm1::FormClose),
            PublishedMethod("FormDblClick", &TForm1::FormDblClick),
            PublishedMethod("FormMouseDown", &TForm1::FormMouseDown),
            PublishedMethod("FormMouseMove", &TForm1::FormMouseMove),
            PublishedMethod("FormMouseUp", &TForm1::FormMouseUp),
            PublishedMethod("K1Click", &TForm1::K1Click),
            PublishedMethod("LargeL1Click", &TForm1::LargeL1Click),
            PublishedMethod("TopRightClick", &TForm1::TopRightClick),
            PublishedMethod("Black1Click", &TForm1::Black1Click),
            PublishedMethod("KM1Click", &TForm1::KM1Click),
            PublishedMethod("KLENTICOR1Click", &TForm1::KLENTICOR1Click),
            PublishedMethod("Exit1Click", &TForm1::Exit1Click),
        },
    };
    return table;
}

RimScheme TForm1::CurrentScheme() const {
    // The rim colours live only in the check marks of the colour items.
    if (Red1 && Red1->Checked()) return RimScheme::Red;
    if (Green1 && Green1->Checked()) return RimScheme::Green;
    return RimScheme::Black;
}

void TForm1::ShapeLens() {
    SetWidth(LensSize);
    SetHeight(LensSize);
    // The window first: if it cannot be had, no region is left behind.
    HWND window = Handle();
    std::array<TPoint, 3> points = OutlinePoints(LensSize, Corner);
    OutlineRegion = CreatePolygonRgn(points.data(), 3, WINDING);
    HRGN ellipse = CreateEllipticRgn(0, 0, LensSize - 1, LensSize - 1);
    CombineRgn(OutlineRegion, OutlineRegion, ellipse, RGN_OR);
    DeleteObject(ellipse);
    SetWindowRgn(window, OutlineRegion, TRUE);
    LensBitmap->SetWidth(LensSize);
    LensBitmap->SetHeight(LensSize);
}

void TForm1::DrawLens() {
    // Once the window has closed there is nothing to draw with.
    if (!LensBitmap) return;
    const int s = LensSize;
    const int q = s / Zoom;
    TCanvas* canvas = LensBitmap->Canvas();
    canvas->Brush->Color = clMaroon;
    canvas->FillRect(Rect(0, 0, s, s));

    TPoint square = CaptureSquare(Left(), Top(), s, q, Corner);
    HDC screen = GetDC(nullptr);
    StretchBlt(canvas->Handle(), 0, 0, s, s, screen, square.X, square.Y, q, q, SRCCOPY);
    ReleaseDC(nullptr, screen);

    RimColorPair colors = RimColors(CurrentScheme());
    RimPoints rim = RimPath(s, Corner);
    TRect box = RimArcBox(s);
    const struct { TColor color; int width; } strokes[] = {{colors.light, 10}, {colors.dark, 6}};
    for (const auto& stroke : strokes) {
        canvas->Pen->Color = stroke.color;
        canvas->Pen->Width = stroke.width;
        canvas->MoveTo(rim.A.X, rim.A.Y);
        canvas->LineTo(rim.Tip.X, rim.Tip.Y);
        canvas->LineTo(rim.B.X, rim.B.Y);
        canvas->Arc(box.Left, box.Top, box.Right, box.Bottom, rim.B.X, rim.B.Y, rim.A.X, rim.A.Y);
    }

    Canvas()->Draw(0, 0, LensBitmap.get());
    Update();
}

void TForm1::FormCreate(TObject*) {
    LensBitmap = std::make_unique<TBitmap>();
    Zoom = 3;
    LensSize = 180;
    Corner = LensCorner::TopLeft;
    ShapeLens();
}

void TForm1::FormShow(TObject*) { DrawLens(); }

void TForm1::FormPaint(TObject*) { DrawLens(); }

void TForm1::FormClose(TObject*, TCloseAction&) { LensBitmap.reset(); }

void TForm1::FormDblClick(TObject*) {
    Corner = NextCorner(Corner);
    ShapeLens();
}

void TForm1::FormMouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y) {
    if (Button != mbLeft) return;
    Dragging = true;
    GrabX = X;
    GrabY = Y;
}

void TForm1::FormMouseMove(TObject*, TShiftState Shift, int, int) {
    if (!Dragging) return;
    // A release we never heard of (another program took the pointer) ends the drag.
    if (!(Shift & ssLeft)) {
        Dragging = false;
        return;
    }
    TPoint p;
    GetCursorPos(&p);
    SetLeft(p.X - GrabX);
    SetTop(p.Y - GrabY);
    DrawLens();
}

void TForm1::FormMouseUp(TObject*, TMouseButton, TShiftState, int, int) { Dragging = false; }

namespace {
TMenuItem& ItemOf(TObject* Sender) {
    auto* item = dynamic_cast<TMenuItem*>(Sender);
    if (!item) throw Exception("a menu handler was called without its menu item");
    return *item;
}
}  // namespace

void TForm1::K1Click(TObject* Sender) {
    TMenuItem& item = ItemOf(Sender);
    if (item.Tag < 1 || item.Tag > 16) throw Exception("no such magnification: " + std::to_string(item.Tag));
    item.SetChecked(true);
    Zoom = item.Tag;
    DrawLens();
}

void TForm1::LargeL1Click(TObject* Sender) {
    TMenuItem& item = ItemOf(Sender);
    if (item.Tag < 30 || item.Tag > 1024) throw Exception("no such lens size: " + std::to_string(item.Tag));
    item.SetChecked(true);
    LensSize = item.Tag;
    ShapeLens();
    DrawLens();
}

void TForm1::TopRightClick(TObject* Sender) {
    TMenuItem& item = ItemOf(Sender);
    if (item.Tag < 0 || item.Tag > 3) throw Exception("no such corner: " + std::to_string(item.Tag));
    item.SetChecked(true);
    Corner = static_cast<LensCorner>(item.Tag);
    ShapeLens();
    DrawLens();
}

void TForm1::Black1Click(TObject* Sender) {
    ItemOf(Sender).SetChecked(true);
    DrawLens();
}

void TForm1::KM1Click(TObject*) { Application->Minimize(); }

// The About command of the lens's menu: the lens makes way for the box and comes back after.
void TForm1::KLENTICOR1Click(TObject*) {
    if (!Form2) return;
    Hide();
    Form2->SetLeft(Left());
    Form2->SetTop(Top());
    MessageBeep(MB_ICONASTERISK);
    try {
        Form2->ShowModal();
    } catch (...) {
        Show();  // the lens never stays hidden behind a box that failed
        throw;
    }
    Show();
}

void TForm1::Exit1Click(TObject*) { Close(); }
