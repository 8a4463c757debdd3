// The program's entry point.
#include "app/Unit2.h"
#include "lens/lenti_form1.h"
#include "platform/forms.h"

int main() {
    try {
        Application->Initialize();
        Application->SetTitle("Lenticor");
        Application->CreateForm(Form1);
        Application->CreateForm(Form2);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(e);
        // The message has been shown; the exit status says the start failed.
        return 1;
    }
    return 0;
}
