#include "tests/fuzz/definition_target.h"

#include <string>

#include "app/Unit2.h"
#include "lens/lenti_form1.h"
#include "platform/forms.h"

namespace {
template <class Form>
int Load(const std::string& text, std::string* refusal) {
    // No window system here: a definition that needs a window ends in an Exception too.
    Form* form = new Form(Application);
    int built = 0;
    try {
        form->CreateFrom(text, "fuzz");
        built = 1;
    } catch (const Exception& e) {
        if (refusal) *refusal = e.Message();
    }
    delete form;
    return built;
}
}  // namespace

int LoadDefinitionOnce(const std::uint8_t* data, std::size_t size, std::string* refusal) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    return data[0] & 1 ? Load<TForm2>(text, refusal) : Load<TForm1>(text, refusal);
}
