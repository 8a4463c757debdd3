// TURLLabel on a real X server, in this process: what a press opens, the colours that follow
// the pointer and the press, and when the label asks to be painted again. The label sits on a
// small form of the test's own; a recording xdg-open first on PATH tells what was opened.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/URLLabel.h"
#include "platform/forms.h"
#include "platform/windows.h"
#include "tests/xharness/xharness.h"

namespace {

std::string g_display;

// Made before the window system's driver, so it is stopped only after the driver's connection
// has been closed at exit: Qt ends the process when its server goes away under it.
xh::Xvfb& Server() {
    static xh::Xvfb server(800, 600);
    return server;
}

constexpr int kQuietMs = 400;
constexpr int kSettleMs = 5000;

// The form's and the label's places. The form stays hidden in most tests: the label's screen
// position is then known and the pointer moved for a release reaches no window.
constexpr int kFormLeft = 200, kFormTop = 150, kFormWidth = 320, kFormHeight = 120;
constexpr int kLinkLeft = 40, kLinkTop = 30, kLinkWidth = 180, kLinkHeight = 20;
constexpr TColor kNormal = clBlue;

std::string Hex(TColor c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%06X", static_cast<unsigned>(c));
    return buf;
}

void Pump() { Application->ProcessMessages(); }

class TLinkForm : public TForm {
public:
    explicit TLinkForm(TComponent* owner) : TForm(owner) {
        SetBorderStyle(bsNone);
        SetBounds(kFormLeft, kFormTop, kFormWidth, kFormHeight);
        SetColor(clWhite);
        Link = new TURLLabel(this);
        Link->SetParent(this);
        Link->SetAutoSize(false);
        Link->SetBounds(kLinkLeft, kLinkTop, kLinkWidth, kLinkHeight);
        Link->SetCaption("https://lenticor.example.org/");
        Link->Font()->Color = kNormal;
        OnPaint = [this](TObject*) { ++Paints; };
    }
    TURLLabel* Link = nullptr;
    int Paints = 0;
};

std::vector<std::string> LinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += "\n  | " + l;
    return out;
}

class URLLabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = std::make_unique<xh::Client>(g_display);
        client_->MovePointer(790, 590);   // away from the form
        char tmpl[] = "/tmp/test_urllabel.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        {
            std::ofstream out(dir_ + "/xdg-open");
            out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << Record() << "'; done\n";
        }
        ::chmod((dir_ + "/xdg-open").c_str(), 0755);
        const char* path = std::getenv("PATH");
        saved_path_ = path ? path : "/usr/bin:/bin";
        setenv("PATH", (dir_ + ":" + saved_path_).c_str(), 1);
    }

    void TearDown() override {
        forms_.clear();
        Pump();
        setenv("PATH", saved_path_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        client_.reset();
    }

    std::string Record() const { return dir_ + "/opened.txt"; }

    // A form with a link, hidden unless asked; its window exists either way.
    TLinkForm& MakeForm(bool shown = false) {
        forms_.push_back(std::make_unique<TLinkForm>(Application));
        TLinkForm& f = *forms_.back();
        f.Handle();
        if (shown) {
            f.Show();
            const std::uintptr_t w = f.Window().NativeId();
            EXPECT_TRUE(xh::WaitUntil([&] { return client_->WindowGeometry(w).mapped; }, kSettleMs, Pump))
                << "the form's window was never mapped";
        }
        // Everything below relies on the label's place on the screen.
        const TPoint origin = f.Link->ClientToScreen(Point(0, 0));
        EXPECT_EQ(origin.X, kFormLeft + kLinkLeft);
        EXPECT_EQ(origin.Y, kFormTop + kLinkTop);
        return f;
    }

    enum class Event { Enter, Press, ReleaseInside, ReleaseOutside, Leave };

    static const char* Name(Event e) {
        switch (e) {
            case Event::Enter: return "enter";
            case Event::Press: return "press";
            case Event::ReleaseInside: return "release inside";
            case Event::ReleaseOutside: return "release outside";
            case Event::Leave: return "leave";
        }
        return "?";
    }

    // Delivers an event as the form does. A release reads where the pointer really is, so the
    // pointer goes there first.
    void Deliver(TURLLabel& link, Event e, TMouseButton button = mbLeft) {
        const int insideX = kFormLeft + kLinkLeft + kLinkWidth / 2, insideY = kFormTop + kLinkTop + kLinkHeight / 2;
        switch (e) {
            case Event::Enter: link.Perform(CM_MOUSEENTER); break;
            case Event::Leave: link.Perform(CM_MOUSELEAVE); break;
            case Event::Press: link.MouseDown(button, ssLeft, kLinkWidth / 2, kLinkHeight / 2); break;
            case Event::ReleaseInside:
                client_->MovePointer(insideX, insideY);
                link.MouseUp(button, 0, kLinkWidth / 2, kLinkHeight / 2);
                break;
            case Event::ReleaseOutside:
                // Just past the label's right edge: the label's own rectangle is what counts.
                client_->MovePointer(kFormLeft + kLinkLeft + kLinkWidth, insideY);
                link.MouseUp(button, 0, kLinkWidth, kLinkHeight / 2);
                break;
        }
    }

    std::unique_ptr<xh::Client> client_;
    std::string dir_;
    std::string saved_path_;
    std::vector<std::unique_ptr<TLinkForm>> forms_;
};

TEST_F(URLLabelTest, TargetIsTheCaptionAsAnEmailAddressWhenItHoldsAnAt) {
    TLinkForm& f = MakeForm();
    const struct {
        const char* caption;
        const char* target;
    } cases[] = {
        {"https://lenticor.example.org/", "https://lenticor.example.org/"},
        {"support@lenticor.example.org", "mailto:support@lenticor.example.org"},
        {"@lenticor.example.org", "mailto:@lenticor.example.org"},
        {"support@", "mailto:support@"},
        {"a@b@c", "mailto:a@b@c"},
        // The prefix goes in front of the whole caption, whatever it already says.
        {"mailto:support@lenticor.example.org", "mailto:mailto:support@lenticor.example.org"},
        {"lenticor.example.org/at", "lenticor.example.org/at"},
        {"", ""},
    };
    for (const auto& c : cases) {
        f.Link->SetCaption(c.caption);
        EXPECT_EQ(f.Link->Target(), c.target) << "caption \"" << c.caption << "\"";
    }
}

TEST_F(URLLabelTest, ConstructionRegistersTheHandAndTheLabelUsesIt) {
    Screen->SetCursors(crHandPointer, 0);
    TLinkForm& f = MakeForm();
    EXPECT_NE(Screen->Cursors(crHandPointer), 0) << "constructing a link did not register the hand";
    EXPECT_EQ(f.Link->Cursor(), crHandPointer);
}

TEST_F(URLLabelTest, ColoursFollowTheEvents) {
    struct Step {
        Event event;
        TColor want;
    };
    const struct {
        const char* name;
        bool hotTrack;
        TColor hot, pushed;
        TMouseButton button;
        std::vector<Step> steps;
    } cases[] = {
        {"a click on the link", true, clAqua, clRed, mbLeft,
         {{Event::Enter, clAqua}, {Event::Press, clRed}, {Event::ReleaseInside, clAqua}, {Event::Leave, kNormal}}},
        {"a press dragged off the link", true, clAqua, clRed, mbLeft,
         {{Event::Enter, clAqua}, {Event::Press, clRed}, {Event::ReleaseOutside, kNormal}, {Event::Leave, kNormal}}},
        {"the right button", true, clAqua, clRed, mbRight,
         {{Event::Enter, clAqua}, {Event::Press, clRed}, {Event::ReleaseInside, clAqua}, {Event::Leave, kNormal}}},
        {"colours of its own", true, clLime, clMaroon, mbLeft,
         {{Event::Enter, clLime}, {Event::Press, clMaroon}, {Event::ReleaseInside, clLime}, {Event::Leave, kNormal}}},
        {"two visits", true, clAqua, clRed, mbLeft,
         {{Event::Enter, clAqua}, {Event::Leave, kNormal}, {Event::Enter, clAqua}, {Event::Press, clRed},
          {Event::ReleaseOutside, kNormal}}},
        // Without an enter nothing was remembered: a release outside puts back what the
        // remembered colour held from the start, black.
        {"a press without an enter, released outside", true, clAqua, clRed, mbLeft,
         {{Event::Press, clRed}, {Event::ReleaseOutside, clBlack}}},
        {"a press without an enter, released inside", true, clAqua, clRed, mbLeft,
         {{Event::Press, clRed}, {Event::ReleaseInside, clAqua}}},
        {"HotTrack off", false, clAqua, clRed, mbLeft,
         {{Event::Enter, kNormal}, {Event::Press, kNormal}, {Event::ReleaseInside, kNormal},
          {Event::Press, kNormal}, {Event::ReleaseOutside, kNormal}, {Event::Leave, kNormal}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLinkForm& f = MakeForm();
        f.Link->SetHotTrack(c.hotTrack);
        f.Link->SetHotColor(c.hot);
        f.Link->SetPushedColor(c.pushed);
        std::string seen;
        for (const Step& step : c.steps) {
            Deliver(*f.Link, step.event, c.button);
            seen += std::string(" ") + Name(step.event);
            EXPECT_EQ(Hex(f.Link->Font()->Color), Hex(step.want)) << "after" << seen;
        }
    }
}

TEST_F(URLLabelTest, PressOpensTheTargetWhenExecutable) {
    const struct {
        const char* name;
        const char* caption;
        bool executable;
        bool hotTrack;
        TMouseButton button;
        const char* opened;   // null: nothing
        TColor pressed;
    } cases[] = {
        {"left button", "https://lenticor.example.org/", true, true, mbLeft, "https://lenticor.example.org/", clRed},
        {"right button", "https://lenticor.example.org/", true, true, mbRight, "https://lenticor.example.org/", clRed},
        {"middle button", "https://lenticor.example.org/", true, true, mbMiddle, "https://lenticor.example.org/", clRed},
        {"an e-mail address", "support@lenticor.example.org", true, true, mbLeft,
         "mailto:support@lenticor.example.org", clRed},
        {"spaces and quotes reach the opener untouched", "a b 'c' \"d\" $e", true, true, mbLeft,
         "a b 'c' \"d\" $e", clRed},
        {"HotTrack off", "https://lenticor.example.org/", true, false, mbLeft, "https://lenticor.example.org/", kNormal},
        {"not executable", "https://lenticor.example.org/", false, true, mbLeft, nullptr, clRed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(Record());
        TLinkForm& f = MakeForm();
        f.Link->SetCaption(c.caption);
        f.Link->Executable = c.executable;
        f.Link->SetHotTrack(c.hotTrack);
        Deliver(*f.Link, Event::Enter);
        Deliver(*f.Link, Event::Press, c.button);
        EXPECT_EQ(Hex(f.Link->Font()->Color), Hex(c.pressed)) << "while pressed";
        if (c.opened) {
            // The opener runs while the button is still down.
            EXPECT_TRUE(xh::WaitUntil([&] { return !LinesOf(Record()).empty(); }, kSettleMs))
                << "nothing was opened on the press";
            EXPECT_FALSE(xh::WaitUntil([&] { return LinesOf(Record()).size() > 1; }, kQuietMs));
            EXPECT_EQ(LinesOf(Record()), std::vector<std::string>{c.opened}) << "xdg-open's arguments:"
                                                                             << Joined(LinesOf(Record()));
        } else {
            // An executable link pressed after it shows that the opener works; its line must be
            // the only one.
            TLinkForm& sentinel = MakeForm();
            sentinel.Link->SetCaption("sentinel");
            sentinel.Link->Executable = true;
            Deliver(*sentinel.Link, Event::Press);
            EXPECT_TRUE(xh::WaitUntil([&] { return !LinesOf(Record()).empty(); }, kSettleMs))
                << "the sentinel link opened nothing";
            EXPECT_FALSE(xh::WaitUntil([&] { return LinesOf(Record()).size() > 1; }, kQuietMs));
            EXPECT_EQ(LinesOf(Record()), std::vector<std::string>{"sentinel"}) << "xdg-open's arguments:"
                                                                               << Joined(LinesOf(Record()));
            Deliver(*sentinel.Link, Event::ReleaseInside);
        }
        Deliver(*f.Link, Event::ReleaseInside, c.button);
        Deliver(*f.Link, Event::Leave);
    }
}

TEST_F(URLLabelTest, PressWithoutAnOpenerIsNotReported) {
    setenv("PATH", (dir_ + "/nothing-here").c_str(), 1);
    TLinkForm& f = MakeForm();
    f.Link->Executable = true;
    EXPECT_NO_THROW(Deliver(*f.Link, Event::Press));
    EXPECT_EQ(Hex(f.Link->Font()->Color), Hex(clRed));
    EXPECT_NO_THROW(Deliver(*f.Link, Event::ReleaseInside));
    EXPECT_EQ(Hex(f.Link->Font()->Color), Hex(clAqua));
}

// A setter given the value the label has already changes nothing and asks for no painting;
// another value is stored and repaints the label. The form counts its paints.
TEST_F(URLLabelTest, SettersRepaintOnlyForANewValue) {
    const struct {
        const char* name;
        std::function<void(TURLLabel&)> same, other;
        std::function<bool(TURLLabel&)> changed;
    } cases[] = {
        {"HotTrack", [](TURLLabel& l) { l.SetHotTrack(true); }, [](TURLLabel& l) { l.SetHotTrack(false); },
         [](TURLLabel& l) { return !l.HotTrack(); }},
        {"HotColor", [](TURLLabel& l) { l.SetHotColor(clAqua); }, [](TURLLabel& l) { l.SetHotColor(clLime); },
         [](TURLLabel& l) { return l.HotColor() == clLime; }},
        {"PushedColor", [](TURLLabel& l) { l.SetPushedColor(clRed); }, [](TURLLabel& l) { l.SetPushedColor(clMaroon); },
         [](TURLLabel& l) { return l.PushedColor() == clMaroon; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TLinkForm& f = MakeForm(true);
        ASSERT_TRUE(xh::WaitUntil([&] { return f.Paints > 0; }, kSettleMs, Pump)) << "the form never painted";
        // Let the first paints pass.
        for (int seen = -1; seen != f.Paints;) {
            seen = f.Paints;
            xh::WaitUntil([&] { return f.Paints != seen; }, kQuietMs, Pump);
        }
        f.Paints = 0;
        c.same(*f.Link);
        EXPECT_FALSE(xh::WaitUntil([&] { return f.Paints > 0; }, kQuietMs, Pump))
            << "setting the value the label has painted it again";
        EXPECT_FALSE(c.changed(*f.Link));
        c.other(*f.Link);
        EXPECT_TRUE(c.changed(*f.Link));
        EXPECT_TRUE(xh::WaitUntil([&] { return f.Paints > 0; }, kSettleMs, Pump))
            << "setting a new value did not paint the label";
        f.Hide();
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    try {
        g_display = Server().Display();
        setenv("DISPLAY", g_display.c_str(), 1);
        Application->Initialize();
        Application->SetTitle("Lenticor");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot set up the X server for the link label tests: %s\n", e.what());
        return 1;
    }
    return RUN_ALL_TESTS();
}
