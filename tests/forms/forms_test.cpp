// The windows' behaviour without a toolkit: what the buttons, the timer, the end and the message
// journal do, on fake windows and virtual time. The desktops only build these.
#include <gmock/gmock.h>

#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "fakes/fake_serial_control.h"
#include "fakes/recording_surface.h"
#include "fakes/temp_dir.h"
#include "forms/frm_main.h"
#include "forms/message_journal.h"
#include "skarvel_version.h"
#include "store/file_io.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

TEST(MessageJournal, OneBoxPerTextCountsRepeatsAndJournalsEveryMessage) {
    int closed = 0;
    struct Box : MessageBoxView {
        Box(std::string t, int& c) : text(std::move(t)), closed(c) {}
        bool isOpen() const override { return open; }
        void setText(const std::string& t) override { text = t; }
        void close() override { open = false, ++closed; }
        std::string text;
        bool open = true;
        int& closed;
    };
    std::vector<Box*> boxes;  // the journal owns them
    Texts journal;
    MessageJournal messages(
        [&](const std::string& text) {
            boxes.push_back(new Box(text, closed));
            return std::unique_ptr<MessageBoxView>(boxes.back());
        },
        [&](const std::string& line) { journal.push_back(line); });
    const LocalTime at = makeTime(2026, 12, 7, 22, 15, 3);
    messages.show("Port gone", "/dev/ttyUSB0", at);
    messages.show("Disk full", "", at + 1s);
    messages.show("Port gone", "/dev/ttyUSB0", at + 10s);
    messages.show("Port gone", "", at + 20s);
    // A repeat is not journaled at once; the same text about another device is another message.
    EXPECT_EQ(journal, (Texts{"2026-12-07 22:15:03 Port gone [/dev/ttyUSB0]",
                              "2026-12-07 22:15:04 Disk full", "2026-12-07 22:15:23 Port gone"}));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0]->text, "Port gone \u2014 3 times, last at 10:15:23 PM");
    // Once someone closed it, the same text opens a box of its own again.
    boxes[0]->close();
    EXPECT_EQ(messages.openCount(), 1);
    messages.show("Port gone", "", at + 30s);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2]->text, "Port gone");
    messages.closeAll(at + 40s);  // the two still open, and the repeats not yet journaled
    EXPECT_TRUE(closed == 3 && messages.openCount() == 0 && messages.count() == 5 &&
                journal.size() == 5);
    EXPECT_EQ(journal.back(),
              "2026-12-07 22:15:43 Port gone [/dev/ttyUSB0] \u2014 1 time more "
              "since 10:15:03 PM, the last at 10:15:13 PM");
    // An hour of one failure every cycle: its first line, one every 10 minutes with the count,
    // one when it has stopped; another message meanwhile keeps its own line.
    Texts hour;
    MessageJournal night([](const std::string&) { return nullptr; },
                         [&](const std::string& line) { hour.push_back(line); });
    const LocalTime dusk = makeTime(2026, 12, 7, 22, 0, 0);
    const std::string full = "Error 61 (Disk full) [/x/status.txt] \u2014 ";
    for (int t = 0; t < 3600; t += 10) {
        night.show("Error 61 (Disk full)", "/x/status.txt", dusk + std::chrono::seconds(t));
        if (t == 1800) night.show("Port gone", "", dusk + 1805s);
        night.settle(dusk + std::chrono::seconds(t + 5));
    }
    night.settle(dusk + 3630s);  // within four cycles of the last
    EXPECT_EQ(hour.size(), 7u);
    night.settle(dusk + 3631s);
    Texts want{"2026-12-07 22:00:00 Error 61 (Disk full) [/x/status.txt]"};
    for (char m = '1'; m <= '5'; ++m)
        want.push_back("2026-12-07 22:" + std::string(1, m) + "0:00 " + full +
                       "60 times since 10:" + char(m - 1) + "0:00 PM");
    want.insert(want.begin() + 4, "2026-12-07 22:30:05 Port gone");
    want.push_back("2026-12-07 23:00:31 " + full +
                   "stopped: 59 times more since 10:50:00 PM, the last at 10:59:50 PM");
    EXPECT_EQ(hour, want);
    // One that comes every minute is still coming until two minutes after the last.
    night.show("Slow", "", dusk + 4000s), night.show("Slow", "", dusk + 4060s);
    night.settle(dusk + 4180s);
    EXPECT_EQ(hour.size(), 9u);
    night.settle(dusk + 4181s);
    EXPECT_EQ(hour.size(), 10u);
    // Where the journal is a file, it keeps its newest half, whole lines, once past its limit.
    testing::TempDir dir;
    for (const char* line : {"one", "two", "three", "four"})
        MessageJournal::appendToFile(dir.file("skarvel.log"), line, 20);
    EXPECT_EQ(testing::TempDir::read(dir / "skarvel.log"), "four\r\n");  // 23 bytes: from 11 on
    MessageJournal::appendToFile(dir.file("no folder/skarvel.log"), "lost", 20);  // no throw
    testing::TempDir::write(dir / "full.log", std::string(1024 * 1024 - 6, '\n'));
    MessageJournal::appendToFile(dir.file("full.log"), "last");  // 1 MiB to the byte: kept
    EXPECT_EQ(std::filesystem::file_size(dir / "full.log"), 1024u * 1024);
}

/// A desktop's windows, faked: each records what the forms do to it, in one shared list.
struct FakeDesktop : testing::FakeControls, MainWindowView {
    struct Window : WindowView {
        Window(FakeDesktop& d, std::string n) : desktop(d), name(std::move(n)) {}
        bool isVisible() const override { return visible; }
        void show() override { visible = true, desktop.done.push_back("show " + name); }
        void bringToFront() override { desktop.done.push_back("front " + name); }
        void close() override { visible = false, desktop.done.push_back("close " + name); }
        void repaint() override {}
        FakeDesktop& desktop;
        std::string name;
        bool visible = false;
    };
    struct Graph {
        Graph(FakeDesktop& d, GraphKind kind, const Settings& settings, DesktopServices& services)
            : surface(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
              window(d, std::to_string(int(kind))),
              form(kind, surface, settings, services, window) {}
        testing::RecordingSurface surface;
        Window window;
        GraphWindow form;
    };
    struct Setup : SetupDialogView {
        explicit Setup(FakeDesktop& d) : desktop(d) {}
        SetupFields fields() const override { return shown; }
        void setFields(const SetupFields& f) override { shown = f; }
        void runModal() override {
            desktop.done.push_back("setup " + shown.comPort + " " + shown.webPath);
            if (desktop.inSetup) desktop.inSetup(*form);
        }
        void end() override { desktop.done.push_back("end setup"); }
        FakeDesktop& desktop;
        frmSetup* form = nullptr;
        SetupFields shown;
    };

    void startTimer1(int ms) override { done.push_back("timer " + std::to_string(ms)); }
    void stopTimer1() override { done.push_back("timer off"); }
    void later(std::function<void()> step) override { pending.push_back(std::move(step)); }
    GraphWindow& createGraphWindow(GraphKind kind) override {
        graphs.push_back(std::make_unique<Graph>(*this, kind, *settings, *services));
        return graphs.back()->form;
    }
    void createSetupDialog(frmSetup& form) override {
        setup.form = &form;
        form.setView(&setup);
    }

    const Settings* settings = nullptr;
    DesktopServices* services = nullptr;
    Texts done;
    std::vector<std::function<void()>> pending;
    std::vector<std::unique_ptr<Graph>> graphs;
    Setup setup{*this};
    std::function<void(frmSetup&)> inSetup;
};

struct FormsTest : ::testing::Test {
    testing::TempDir folder;
    testing::FakeDesktopServices services{folder.str(), makeTime(2026, 12, 7, 22, 0, 0)};
    std::shared_ptr<testing::FakePortScript> script = std::make_shared<testing::FakePortScript>();
    FakeDesktop desktop;
    frmMain form{desktop, desktop, services, testing::fakeFactory(services, script)};

    FormsTest() {
        desktop.settings = &form.settings();
        desktop.services = &services;
        script->exists = false;  // no sensor: cycles end at once with "ERROR"
        form.Form_Load();
        services.messages.clear();
        desktop.done.clear();
    }
};

TEST_F(FormsTest, GraphWindowsComeOnceAndAreUnloadedNewestFirstAtTheEnd) {
    form.YearButton_Click();
    form.HistoryButton_Click();
    form.HistoryButton_Click();           // already open: brought forward, no second window
    desktop.graphs[1]->form.PlotGraph();  // loaded by a redraw only: older than any shown
    desktop.graphs[2]->window.close();    // closed by its close box: unloaded, not closed again
    desktop.graphs[2]->form.closed();
    form.YearButton_Click();
    std::filesystem::remove(folder / "config.ini");
    form.Form_Unload();
    form.Form_Unload();
    form.Timer1_Timer();  // a late tick after the end does nothing
    EXPECT_EQ(desktop.done, (Texts{"show 2", "show 0", "front 0", "close 2", "show 2", "timer off",
                                   "close 2", "close 0"}));
    EXPECT_FALSE(desktop.graphs[1]->form.isLoaded());
    EXPECT_TRUE(std::filesystem::exists(folder / "history.bmp"));  // drawn when first shown
    EXPECT_TRUE(std::filesystem::exists(folder / "config.ini") && services.messages.empty());
}

TEST_F(FormsTest, SetupPressedDuringACycleOpensAfterIt) {
    script->exists = true;  // a sensor that never answers: the cycle waits its full time
    form.Timer1_Timer();    // which opens the link
    bool pressed = false;
    services.onSleep = [&] {
        if (!pressed) pressed = true, form.SetupButton_Click();
    };
    form.Timer1_Timer();
    EXPECT_TRUE(desktop.done.empty() && desktop.pending.size() == 1);
    services.onSleep = {};
    desktop.inSetup = [&](frmSetup& setup) {
        desktop.setup.shown.comPort = " 7 ";
        setup.cmdOK_Click();
    };
    desktop.pending.front()();
    EXPECT_EQ(desktop.done, (Texts{"setup 1 " + folder.str() + kPathSeparator, "end setup"}));
    EXPECT_EQ(form.settings().commportid, 7);
    EXPECT_THAT(testing::TempDir::read(folder / "config.ini"),
                ::testing::HasSubstr("commportid,7"));
}

TEST_F(FormsTest, SetupRefusesWhatItCannotUseNamingTheFieldAndStaysOpen) {
    // Cloudy, very cloudy, port, path, and the refusal. Thresholds in the wrong order are refused,
    // but port and path are taken over already. Equal thresholds pass, a half rounds to the even
    // neighbour (0.5 to 0, refused) and a final separator is kept.
    const std::string sep(1, kPathSeparator);
    const std::array<std::string, 5> rows[] = {
        {"-10", "-20", "2.5", "/var/www", "Error: V.Cloudy threshold lower than Cloudy threshold"},
        {"-25", "", "2", "/a", "Very Cloudy threshold must be a number"},
        {"-25", "-15", "0.5", "/a", "Com port must be a number from 1 to 32767"},
        {"-25", "-15", "2", "", "Web path must not be empty"},
        {"-25", "-15", "2", "/a,b", "Web path must not contain a comma or a double quote"},
        {"-25", "-15", "2", "/a\"b", "Web path must not contain a comma or a double quote"},
        {"-20", "-20.0", "3.5", "/srv/web" + sep, ""},
    };
    const Settings& s = form.settings();
    for (const auto& [cloudy, veryCloudy, port, path, refusal] : rows) {
        services.messages.clear();
        desktop.done.clear();
        desktop.setup.shown = {port, path, cloudy, veryCloudy};
        form.setup().cmdOK_Click();
        EXPECT_EQ(services.messages, Texts(!refusal.empty(), refusal)) << refusal;
        EXPECT_EQ(desktop.done, Texts(refusal.empty(), "end setup")) << refusal;
        const std::string portAndPath = std::to_string(s.commportid) + s.webPath;
        EXPECT_EQ(portAndPath, (refusal.empty() ? "4/srv/web" : "2/var/www") + sep) << refusal;
        EXPECT_EQ(s.cloudyThreshold, refusal.empty() ? -20 : -25) << refusal;
    }
    form.AboutButton_Click();
    EXPECT_EQ(services.messages.back(), "Skarvel - Version " SKARVEL_VERSION);
}

}  // namespace
}  // namespace skarvel
