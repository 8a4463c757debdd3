// Errors around forms: an exception escaping a mouse handler, and stored definitions that do
// not fit the form class they are read into.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/windows.h"
#include "tests/x11/lens_checks.h"
#include "tests/x11/x11_tools.h"
#include "tests/xharness/xharness.h"

namespace lenstest {
namespace {

class TFixtureForm : public TForm {
public:
    static constexpr const char* StaticClassName = "TFixtureForm";
    using TForm::TForm;
    const char* ClassName() const override { return StaticClassName; }

    const TPublishedTable& Published() const override {
        static const TPublishedTable table = {
            {
                PublishedField("PopupMenu1", &TFixtureForm::PopupMenu1),
                PublishedField("Item1", &TFixtureForm::Item1),
            },
            {
                PublishedMethod("FormMouseDown", &TFixtureForm::FormMouseDown),
                PublishedMethod("FormMouseUp", &TFixtureForm::FormMouseUp),
                PublishedMethod("ItemClick", &TFixtureForm::ItemClick),
            },
        };
        return table;
    }

    TPopupMenu* PopupMenu1 = nullptr;
    TMenuItem* Item1 = nullptr;

    // A left press fails; other presses and every release are counted.
    void FormMouseDown(TObject*, TMouseButton Button, TShiftState, int, int) {
        if (Button == mbLeft) throw Exception("the fixture's press handler failed");
        ++otherPresses;
    }
    void FormMouseUp(TObject*, TMouseButton, TShiftState, int, int) { ++releases; }
    void ItemClick(TObject*) {}

    int otherPresses = 0;
    int releases = 0;
};

// Line numbers below count from the "object" line as 1.
const char kDefinition[] =
    "object Fixture1: TFixtureForm\n"        // 1
    "  Left = 300\n"                         // 2
    "  Top = 200\n"                          // 3
    "  BorderStyle = bsNone\n"               // 4
    "  Caption = 'Fixture'\n"                // 5
    "  ClientHeight = 150\n"                 // 6
    "  ClientWidth = 200\n"                  // 7
    "  Color = clWhite\n"                    // 8
    "  OnMouseDown = FormMouseDown\n"        // 9
    "  OnMouseUp = FormMouseUp\n"            // 10
    "  object PopupMenu1: TPopupMenu\n"      // 11
    "    object Item1: TMenuItem\n"          // 12
    "      Caption = 'Item'\n"               // 13
    "      OnClick = ItemClick\n"            // 14
    "    end\n"                              // 15
    "  end\n"                                // 16
    "end\n";                                 // 17

std::string Replaced(const std::string& from, const std::string& to) {
    std::string text = kDefinition;
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("'" + from + "' is not in the fixture definition");
    text.replace(at, from.size(), to);
    return text;
}

TEST(StoredDefinition, TheFixtureDefinitionLoads) {
    auto form = std::make_unique<TFixtureForm>(Application);
    form->CreateFrom(kDefinition, "Fixture");
    EXPECT_EQ(form->Name, "Fixture1");
    EXPECT_EQ(form->Left(), 300);
    EXPECT_EQ(form->Top(), 200);
    EXPECT_EQ(form->Width(), 200);
    EXPECT_EQ(form->Height(), 150);
    EXPECT_EQ(form->Caption(), "Fixture");
    ASSERT_NE(form->PopupMenu1, nullptr);
    ASSERT_NE(form->Item1, nullptr);
    EXPECT_EQ(form->Item1->Caption, "Item");
    EXPECT_TRUE(static_cast<bool>(form->OnMouseDown));
    EXPECT_TRUE(static_cast<bool>(form->OnMouseUp));
    EXPECT_TRUE(static_cast<bool>(form->Item1->OnClick));
}

TEST(StoredDefinition, AMalformedDefinitionNamesResourceLineAndProblem) {
    const struct {
        const char* name;
        std::string text;
        int line;
        const char* problem;
    } cases[] = {
        {"unknown property", Replaced("  Color = clWhite", "  Colour = clWhite"), 8,
         "unknown property 'Colour' of TFixtureForm"},
        {"unknown property of a component", Replaced("      Caption = 'Item'", "      Kaption = 'Item'"), 13,
         "unknown property 'Kaption' of TMenuItem"},
        {"unknown handler", Replaced("OnMouseUp = FormMouseUp", "OnMouseUp = FormMouseUpp"), 10,
         "no published method 'FormMouseUpp' in TFixtureForm"},
        {"handler of the wrong signature", Replaced("OnMouseDown = FormMouseDown", "OnMouseDown = ItemClick"), 9,
         "method 'ItemClick' does not have the signature this event needs"},
        {"notify handler given a mouse handler", Replaced("OnClick = ItemClick", "OnClick = FormMouseUp"), 14,
         "method 'FormMouseUp' does not have the signature this event needs"},
        {"unknown field", Replaced("object Item1: TMenuItem", "object Item2: TMenuItem"), 12,
         "no published field 'Item2' in TFixtureForm"},
        {"unknown component referenced", Replaced("  Color = clWhite\n", "  Color = clWhite\n  PopupMenu = PopupMenu2\n"), 9,
         "no component named 'PopupMenu2'"},
        {"component of the wrong class referenced", Replaced("  Color = clWhite\n", "  Color = clWhite\n  PopupMenu = Item1\n"), 9,
         "'Item1' is not a TPopupMenu"},
        {"field of another class", Replaced("object PopupMenu1: TPopupMenu", "object PopupMenu1: TMenuItem"), 11,
         "field 'PopupMenu1' holds a TPopupMenu, not a TMenuItem"},
        {"unterminated object", Replaced("  end\nend\n", "  end\n"), 16,
         "object 'Fixture1' opened at line 1 has no 'end'"},
        {"string for an integer", Replaced("Left = 300", "Left = '300'"), 2, "expected an integer, found a string"},
        {"identifier for a string", Replaced("Caption = 'Fixture'", "Caption = Fixture"), 5,
         "expected a string, found an identifier"},
        {"integer for an enumeration", Replaced("BorderStyle = bsNone", "BorderStyle = 0"), 4,
         "expected an identifier, found an integer"},
        {"unknown enumeration value", Replaced("BorderStyle = bsNone", "BorderStyle = bsRound"), 4,
         "unknown value 'bsRound'"},
        {"unknown colour", Replaced("Color = clWhite", "Color = clWhyte"), 8, "unknown colour 'clWhyte'"},
        {"definition of another class", Replaced("Fixture1: TFixtureForm", "Fixture1: TForm1"), 1,
         "the definition is of class TForm1, not TFixtureForm"},
    };
    const int regions = LiveRegionCount(), bitmaps = TBitmap::LiveCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto* form = new TFixtureForm(Application);
        std::string message = "(no exception)";
        try {
            form->CreateFrom(c.text, "Fixture");
        } catch (const Exception& e) {
            message = e.Message();
        }
        const std::string prefix = "Fixture:" + std::to_string(c.line) + ": ";
        EXPECT_EQ(message.rfind(prefix, 0), 0u) << "message \"" << message << "\" does not start with \"" << prefix << "\"";
        EXPECT_NE(message.find(c.problem), std::string::npos)
            << "message \"" << message << "\" does not say \"" << c.problem << "\"";
        delete form;
    }
    EXPECT_EQ(LiveRegionCount(), regions);
    EXPECT_EQ(TBitmap::LiveCount(), bitmaps);
}

// --- An exception from a mouse handler -------------------------------------------------------

// Watches the display from a thread of its own for message boxes (windows titled `title`, other
// than `exclude`) and answers each with Return.
class BoxCloser {
public:
    BoxCloser(std::string title, unsigned long exclude)
        : title_(std::move(title)), exclude_(exclude), thread_([this] { Run(); }) {}
    ~BoxCloser() { Stop(); }
    BoxCloser(const BoxCloser&) = delete;
    BoxCloser& operator=(const BoxCloser&) = delete;

    int Closed() const { return closed_; }
    // The results below are read once the thread has stopped.
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool ReturnFailed() const { return returnFailed_; }
    const std::string& Failure() const { return failure_; }

private:
    // Windows come and go while they are looked at; one that has gone is not mapped.
    static bool Mapped(xh::Client& client, unsigned long window) {
        try {
            return client.WindowGeometry(window).mapped;
        } catch (const std::runtime_error&) {
            return false;
        }
    }

    void Run() {
        try {
            xh::Client client(TestDisplay());
            while (!stop_) {
                unsigned long box = 0;
                for (unsigned long w : client.FindWindowsByTitle(title_))
                    if (w != exclude_ && Mapped(client, w)) box = w;
                if (!box) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    continue;
                }
                // Return is the box's answer; should it not close the box, other keys still end
                // its loop, so that the thread it holds can report the failure.
                FocusWindow(client, box);
                const char* const keys[] = {"Return", "Escape", "space"};
                for (const char* key : keys) {
                    client.KeyTap(key);
                    if (xh::WaitUntil([&] { return !Mapped(client, box); }, 2000)) {
                        ++closed_;
                        break;
                    }
                    returnFailed_ = true;
                }
            }
        } catch (const std::exception& e) {
            failure_ = e.what();
        }
    }

    std::string title_;
    unsigned long exclude_;
    std::atomic<bool> stop_{false};
    std::atomic<int> closed_{0};
    std::atomic<bool> returnFailed_{false};
    std::string failure_;
    std::thread thread_;
};

TEST(HandlerException, IsShownInAMessageBoxAndTheProgramGoesOn) {
    xh::Client client(TestDisplay());
    auto* form = new TFixtureForm(Application);
    form->CreateFrom(kDefinition, "Fixture");
    form->Show();
    const unsigned long window = form->Window().NativeId();
    ASSERT_TRUE(xh::WaitUntil([&] { return client.WindowGeometry(window).mapped; }, 5000, Pump));

    {
        BoxCloser closer(Application->Title(), window);
        client.MovePointer(form->Left() + 50, form->Top() + 40);
        ::testing::internal::CaptureStderr();
        client.Press(1);
        // The box runs its own loop inside the handler's dispatch; it returns once closed.
        const bool shown = xh::WaitUntil([&] { return closer.Closed() >= 1; }, 10000, Pump);
        const std::string err = ::testing::internal::GetCapturedStderr();
        client.Release(1);
        closer.Stop();
        EXPECT_TRUE(shown) << "no message box titled \"" << Application->Title() << "\" was shown and closed"
                           << (closer.Failure().empty() ? "" : "; the watcher failed: " + closer.Failure());
        EXPECT_FALSE(closer.ReturnFailed()) << "Return did not close the message box";
        EXPECT_NE(err.find(Application->Title() + ": the fixture's press handler failed"), std::string::npos)
            << "standard error: \"" << err << "\"";
    }

    // Later events are handled as usual.
    const int releases = form->releases;
    client.Press(3);
    client.Release(3);
    EXPECT_TRUE(xh::WaitUntil([&] { return form->otherPresses == 1 && form->releases == releases + 1; }, 5000, Pump))
        << "after the exception: " << form->otherPresses << " right presses and " << form->releases - releases
        << " releases handled, want 1 and 1";
    delete form;
    Pump();
}

}  // namespace
}  // namespace lenstest
