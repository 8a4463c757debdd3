// The About box: the program's name, version, a credit line and a link to its support page.
#pragma once

#include "controls/URLLabel.h"
#include "platform/forms.h"
#include "platform/stdctrls.h"

class TForm2 : public TForm {
public:
    static constexpr const char* StaticClassName = "TForm2";
    explicit TForm2(TComponent* Owner);
    const char* ClassName() const override { return StaticClassName; }
    const TPublishedTable& Published() const override;

    TImage* Image1 = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    TLabel* Label3 = nullptr;
    TLabel* Label4 = nullptr;
    TLabel* Label5 = nullptr;
    TURLLabel* URLLabel1 = nullptr;
    TButton* Button1 = nullptr;

    void Button1Click(TObject* Sender);
};

extern TForm2* Form2;
