// The lens: a borderless, always-on-top window in the shape of a round lens with a pointed
// tip, showing the screen beyond the tip enlarged.
#pragma once

#include <memory>

#include "lens/lens_geometry.h"
#include "platform/forms.h"
#include "platform/graphics.h"
#include "platform/menus.h"
#include "platform/windows.h"

class TForm1 : public TForm {
public:
    static constexpr const char* StaticClassName = "TForm1";
    explicit TForm1(TComponent* Owner);
    const char* ClassName() const override { return StaticClassName; }
    const TPublishedTable& Published() const override;

    // Published components.
    TPopupMenu* PopupMenu1 = nullptr;
    TMenuItem* Exit1 = nullptr;
    TMenuItem* N1 = nullptr;
    TMenuItem* KLENTICOR1 = nullptr;
    TMenuItem* KM1 = nullptr;
    TMenuItem* N2 = nullptr;
    TMenuItem* K1 = nullptr;
    TMenuItem* K2 = nullptr;
    TMenuItem* K3 = nullptr;
    TMenuItem* LargeL1 = nullptr;
    TMenuItem* N4 = nullptr;
    TMenuItem* MediumM1 = nullptr;
    TMenuItem* SmallS1 = nullptr;
    TMenuItem* Rotate1 = nullptr;
    TMenuItem* TopLeft = nullptr;
    TMenuItem* TopRight = nullptr;
    TMenuItem* BottomLeft = nullptr;
    TMenuItem* BottomRight31 = nullptr;
    TMenuItem* ColorC1 = nullptr;
    TMenuItem* Black1 = nullptr;
    TMenuItem* Red1 = nullptr;
    TMenuItem* Green1 = nullptr;
    TMenuItem* N3 = nullptr;

    // Published event handlers.
    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormPaint(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormDblClick(TObject* Sender);
    void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void FormMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
    void FormMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
    void K1Click(TObject* Sender);
    void LargeL1Click(TObject* Sender);
    void TopRightClick(TObject* Sender);
    void Black1Click(TObject* Sender);
    void KM1Click(TObject* Sender);
    void KLENTICOR1Click(TObject* Sender);
    void Exit1Click(TObject* Sender);

    // Read-only views of the lens's state.
    bool IsDragging() const { return Dragging; }
    int CurrentZoom() const { return Zoom; }
    int CurrentLensSize() const { return LensSize; }
    LensCorner CurrentCorner() const { return Corner; }
    TBitmap* Picture() const { return LensBitmap.get(); }
    RimScheme CurrentScheme() const;

private:
    void ShapeLens();
    void DrawLens();

    bool Dragging = false;
    int GrabX = 0;
    int GrabY = 0;
    int Zoom = 3;
    int LensSize = 180;
    LensCorner Corner = LensCorner::TopLeft;
    std::unique_ptr<TBitmap> LensBitmap;
    HRGN OutlineRegion = nullptr;
};

extern TForm1* Form1;
