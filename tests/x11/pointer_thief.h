// A window of this process, unknown to the platform layer, that takes the pointer away from
// whichever window holds it, as another program that grabs the pointer would. The X server
// refuses a grab by another client while a button press holds the pointer for the lens
// (AlreadyGrabbed), so the taking has to be done by a client that holds that press: this one.
#pragma once

#include <memory>

class QWidget;

namespace lenstest {

class PointerThief {
public:
    PointerThief();   // shows a small window in the top-right corner of the screen
    ~PointerThief();
    PointerThief(const PointerThief&) = delete;
    PointerThief& operator=(const PointerThief&) = delete;

    bool Shown() const;
    bool Take();      // whether the window system let it have the pointer
    void GiveBack();
    int Releases() const;   // button releases that came to it

private:
    class Widget;
    std::unique_ptr<Widget> widget_;
};

}  // namespace lenstest
