#include "app/Unit2.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(TComponent* Owner) : TForm(Owner) {}

const TPublishedTable& TForm2::Published() const {
    static const TPublishedTable table = {
        {
            PublishedField("Image1", &TForm2::Image1),
            PublishedField("Label1", &TForm2::Label1),
            PublishedField("Label2", &TForm2::Label2),
            PublishedField("Label3", &TForm2::Label3),
            PublishedField("Label4", &TForm2::Label4),
            PublishedField("Label5", &TForm2::Label5),
            PublishedField("URLLabel1", &TForm2::URLLabel1),
            PublishedField("Button1", &TForm2::Button1),
        },
        {
            PublishedMethod("Button1Click", &TForm2::Button1Click),
        },
    };
    return table;
}

void TForm2::Button1Click(TObject*) { Close(); }
