#include "errors/messages.h"
#include "help/viewer_actions.h"
#include "log/driver_log.h"
#include "posix/file_descriptor.h"
#include "tests/viewer/x_session.h"
#include "tools/viewer/log_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TXvfb;

void WriteLines(const fs::path& APath, int ACount, std::ios::openmode AMode = std::ios::trunc) {
    std::ofstream out(APath, std::ios::binary | AMode);
    for (int i = 0; i < ACount; ++i) out << "2026.12.08 10:00:00.000\tINFO\tline " << i << " MMMMMMMM\r\n";
}

// Takes screenshots until the window shows what AReady accepts, or the time is up.
template <typename TReady>
std::optional<test::TImage> WaitForPicture(const TXvfb& AX, const std::string& AWindow,
                                           const std::string& AName, std::chrono::milliseconds ATimeout,
                                           TReady AReady) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    std::optional<test::TImage> image;
    do {
        image = test::Screenshot(AX, AWindow, AName);
        if (image && AReady(*image)) return image;
        std::this_thread::sleep_for(200ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return image;
}

// What each descriptor of a process points at.
std::vector<std::string> OpenFiles(pid_t APid) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(APid) + "/fd", error))
        files.push_back(fs::read_symlink(entry.path(), error).string());
    return files;
}

// A file the host holds open on an inheritable descriptor, as a port, socket or lock may be.
struct THeldFile {
    explicit THeldFile(const fs::path& APath)
        : Path(APath.string()), Fd(::open(APath.c_str(), O_RDWR | O_CREAT, 0600)) {}
    std::string Path;
    TFileDescriptor Fd;
};

// The window's process holds none of the host's descriptors.
void ExpectViewerHoldsNot(const TXvfb& AX, const std::string& AWindow, const THeldFile& AHeld) {
    const auto pid = test::RunTool({"xdotool", "getwindowpid", AWindow}, AX.Env());
    ASSERT_TRUE(pid) << "no process for the window";
    const std::vector<std::string> viewer = OpenFiles(static_cast<pid_t>(std::stol(*pid)));
    ASSERT_FALSE(viewer.empty()) << "the viewer's descriptors cannot be read";
    ASSERT_EQ(std::ranges::count(OpenFiles(::getpid()), AHeld.Path), 1) << "the host holds no " << AHeld.Path;
    EXPECT_EQ(std::ranges::count(viewer, AHeld.Path), 0) << "the viewer inherited " << AHeld.Path;
}

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-viewer-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FRoot = pattern;
        FLogs = FRoot / "logs";
        FTmp = FRoot / "tmp";
        fs::create_directories(FLogs);
        fs::create_directories(FTmp);
        FSavedEnv = test::Environment({});
        setenv("TMPDIR", FTmp.c_str(), 1);
    }
    void TearDown() override {
        for (const char* name : {"TMPDIR", "DISPLAY", "WAYLAND_DISPLAY"}) {
            const auto it = FSavedEnv.find(name);
            if (it == FSavedEnv.end())
                unsetenv(name);
            else
                setenv(name, it->second.c_str(), 1);
        }
        fs::remove_all(FRoot);
    }

    // Runs an action on another thread while the test works its window through AX; a window
    // left open is ended with the X server so the action returns in every case.
    template <typename TBody>
    std::string RunAction(TXvfb& AX, void (*AAction)(), TBody ABody) {
        setenv("DISPLAY", AX.Display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        auto outcome = std::async(std::launch::async, [AAction]() -> std::string {
            try {
                AAction();
                return "";
            } catch (const std::exception& e) {
                return e.what();
            }
        });
        struct TUnblock {
            TXvfb& X;
            std::future<std::string>& F;
            ~TUnblock() {
                if (F.valid() && F.wait_for(10s) != std::future_status::ready) X.Stop();
            }
        } unblock{AX, outcome};
        ABody();
        if (outcome.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "the action did not return after its window was closed";
            AX.Stop();
        }
        return outcome.get();
    }

    fs::path FRoot, FLogs, FTmp;
    std::map<std::string, std::string> FSavedEnv;
};

TEST(LogFileList, OnlyLogFilesOfAnyCaseSortedByName) {
    char pattern[] = "/tmp/qv-list-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    for (const char* name : {"quorvane_2026.12.08.log", "QUORVANE_2026.12.07.LOG", "quorvane_2026.12.09.Log",
                             "notes.txt", "old.log.bak", "log", ".log"})
        std::ofstream(dir / name) << "x";
    fs::create_directory(dir / "archive.log");
    EXPECT_EQ(ListLogFiles(dir.string()),
              (std::vector<std::string>{".log", "QUORVANE_2026.12.07.LOG", "quorvane_2026.12.08.log",
                                        "quorvane_2026.12.09.Log"}));
    EXPECT_TRUE(ListLogFiles((dir / "missing").string()).empty());
    fs::remove_all(dir);
}

int RedTextLines(const test::TImage& AImage);

void WriteError(const fs::path& APath, const std::string& AText) {
    std::ofstream out(APath, std::ios::binary | std::ios::app);
    out << "2026.12.08 10:00:01.000\tERROR\t" << AText << "\r\n";
}

TEST_F(ViewerWindowTest, LogWindowShowsTheNewestLogFileFollowsItAndOffersNewFiles) {
    WriteLines(FLogs / "quorvane_2026.12.06.log", 1);
    WriteLines(FLogs / "quorvane_2026.12.07.LOG", 3);  // the newest log file
    WriteLines(FLogs / "quorvane_2026.12.08.txt", 6);  // sorts last but is no log file
    WriteLines(FLogs / "zz.log.bak", 5);

    TXvfb x;
    const std::string viewer = std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/quorvane-viewer";
    test::TChildProcess window({viewer, "log", FLogs.string()}, x.Env());
    const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
    ASSERT_TRUE(id) << "no window titled Просмотр лога";

    auto lines = [](int n) { return [n](const test::TImage& i) { return test::CountTextLines(i) == n; }; };
    auto shown = WaitForPicture(x, *id, "log-newest.png", 10s, lines(3));
    ASSERT_TRUE(shown);
    EXPECT_EQ(test::CountTextLines(*shown), 3) << "see log-newest.png";
    // The size the help's picture of the window shows, whatever the screen's resolution.
    EXPECT_GE(shown->Width, 640);
    EXPECT_GE(shown->Height, 420);

    WriteLines(FLogs / "quorvane_2026.12.07.LOG", 2, std::ios::app);
    shown = WaitForPicture(x, *id, "log-appended.png", 3s, lines(5));
    ASSERT_TRUE(shown);
    EXPECT_EQ(test::CountTextLines(*shown), 5) << "see log-appended.png";

    // A file that appears later is offered when the list drops down; picking it shows it at its
    // end, far below the first screen.
    WriteLines(FLogs / "quorvane_2026.12.09.log", 80);
    WriteError(FLogs / "quorvane_2026.12.09.log", "the last record");
    ASSERT_TRUE(test::ClickAndType(x, *id, 100, 20, {"End", "Return"}));
    shown = WaitForPicture(x, *id, "log-picked.png", 5s,
                           [](const test::TImage& i) { return RedTextLines(i) == 1; });
    ASSERT_TRUE(shown);
    EXPECT_EQ(RedTextLines(*shown), 1) << "the picked day does not open at its end; see log-picked.png";

    // At the end, the view follows new records; scrolled back to the start, it stays there.
    for (int i = 0; i < 3; ++i) WriteError(FLogs / "quorvane_2026.12.09.log", "appended");
    shown = WaitForPicture(x, *id, "log-follow.png", 4s,
                           [](const test::TImage& i) { return RedTextLines(i) == 4; });
    ASSERT_TRUE(shown);
    EXPECT_EQ(RedTextLines(*shown), 4) << "the view did not follow the new records; see log-follow.png";
    ASSERT_TRUE(test::ClickAndType(x, *id, 300, 200, {"ctrl+Home"}));
    for (int i = 0; i < 3; ++i) WriteError(FLogs / "quorvane_2026.12.09.log", "later");
    std::this_thread::sleep_for(2500ms);
    shown = test::Screenshot(x, *id, "log-stay.png");
    ASSERT_TRUE(shown);
    EXPECT_EQ(RedTextLines(*shown), 0) << "the view left the start; see log-stay.png";

    ASSERT_TRUE(test::PressEscape(x, *id));
    const auto status = window.WaitExit(10s);
    ASSERT_TRUE(status) << "the window did not close";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

// Keys (xdotool names) to the window, in turn.
bool PressKeys(const TXvfb& AX, const std::string& AWindow, const std::vector<std::string>& AKeys) {
    for (const std::string& key : AKeys) {
        if (!test::RunTool({"xdotool", "windowfocus", "--sync", AWindow, "key", key}, AX.Env())) return false;
        std::this_thread::sleep_for(150ms);
    }
    return true;
}

// Text lines drawn in red (ERROR records): runs of rows holding clearly red pixels.
int RedTextLines(const test::TImage& AImage) {
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < AImage.Height; ++y) {
        bool red = false;
        for (int x = 0; x < AImage.Width && !red; ++x) {
            const unsigned char* p = AImage.At(x, y);
            red = p[0] > 120 && p[1] < 80 && p[2] < 80;
        }
        if (red && !inLine) ++lines;
        inLine = red;
    }
    return lines;
}

TEST_F(ViewerWindowTest, LogWindowOpensAtTheNewestRecordsWrapsThemMarksErrorsAndExplainsAnEmptyFolder) {
    TXvfb x;
    const std::string viewer = std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/quorvane-viewer";
    {
        test::TChildProcess window({viewer, "log", FLogs.string()}, x.Env());
        const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
        ASSERT_TRUE(id);
        const auto shown = WaitForPicture(x, *id, "log-empty.png", 5s,
                                          [](const test::TImage& i) { return test::CountTextLines(i) > 0; });
        ASSERT_TRUE(shown);
        EXPECT_GT(test::CountTextLines(*shown), 0)
            << "an empty folder shows an empty window; see log-empty.png";
        // The log writer makes the day's file: the window shows it without being reopened.
        WriteLines(FLogs / "quorvane_2026.12.07.log", 2);
        WriteError(FLogs / "quorvane_2026.12.07.log", "first failure");
        const auto appeared = WaitForPicture(x, *id, "log-appeared.png", 5s,
                                             [](const test::TImage& i) { return RedTextLines(i) == 1; });
        ASSERT_TRUE(appeared);
        EXPECT_EQ(RedTextLines(*appeared), 1) << "the first log file is not shown; see log-appeared.png";
        ASSERT_TRUE(test::PressEscape(x, *id));
        EXPECT_TRUE(window.WaitExit(10s));
    }
    // Far more records than the window holds; the last one an ERROR record wider than the window.
    WriteLines(FLogs / "quorvane_2026.12.08.log", 80);
    {
        std::ofstream out(FLogs / "quorvane_2026.12.08.log", std::ios::binary | std::ios::app);
        out << "2026.12.08 10:00:01.000\tERROR\tException: \t" << std::string(300, 'W') << "\r\n";
    }
    test::TChildProcess window({viewer, "log", FLogs.string()}, x.Env());
    const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
    ASSERT_TRUE(id);
    const auto shown = WaitForPicture(x, *id, "log-end.png", 10s,
                                      [](const test::TImage& i) { return RedTextLines(i) >= 2; });
    ASSERT_TRUE(shown);
    // Red only when the window shows the end; two red lines only when the record wraps.
    EXPECT_GE(RedTextLines(*shown), 2) << "see log-end.png";
    ASSERT_TRUE(test::PressEscape(x, *id));
    EXPECT_TRUE(window.WaitExit(10s));
}

TEST_F(ViewerWindowTest, LogWindowFindsTextForwardAndBackRoundTheEnds) {
    // "needle" in an ERROR record near the start and in an INFO record far from it.
    const fs::path file = FLogs / "quorvane_2026.12.08.log";
    WriteLines(file, 2);
    WriteError(file, "a Needle here");
    WriteLines(file, 150, std::ios::app);
    { std::ofstream(file, std::ios::binary | std::ios::app) << "2026.12.08 10:00:02.000\tINFO\tneedle\r\n"; }
    WriteLines(file, 150, std::ios::app);

    TXvfb x;
    const std::string viewer = std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/quorvane-viewer";
    test::TChildProcess window({viewer, "log", FLogs.string()}, x.Env());
    const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
    ASSERT_TRUE(id);
    ASSERT_TRUE(WaitForPicture(x, *id, "log-find-0.png", 10s,
                               [](const test::TImage& i) { return test::CountTextLines(i) > 10; }));
    // Typing searches from the caret (at the end) round to the start; Enter goes on, Shift+Enter back.
    const struct {
        std::vector<std::string> Keys;
        bool Red;  // the ERROR record's occurrence is in view, not the other one
    } steps[] = {
        {{"ctrl+f", "n", "e", "e", "d", "l", "e"}, true}, {{"Return"}, false}, {{"shift+Return"}, true}};
    for (const auto& step : steps) {
        ASSERT_TRUE(PressKeys(x, *id, step.Keys));
        const auto shown = WaitForPicture(x, *id, "log-find.png", 3s, [&](const test::TImage& i) {
            return (RedTextLines(i) > 0) == step.Red;
        });
        ASSERT_TRUE(shown);
        EXPECT_EQ(RedTextLines(*shown) > 0, step.Red) << "after " << step.Keys.back() << "; see log-find.png";
    }

    // Escape closes the find bar first, then the window.
    ASSERT_TRUE(test::PressEscape(x, *id));
    EXPECT_FALSE(window.WaitExit(500ms)) << "Escape in the find bar closed the window";
    ASSERT_TRUE(test::PressEscape(x, *id));
    EXPECT_TRUE(window.WaitExit(10s));
}

TEST_F(ViewerWindowTest, ViewLogActionRunsTheEmbeddedViewerUntilTheWindowCloses) {
    WriteLines(FLogs / "quorvane_2026.12.08.log", 4);
    SetLogDirectory(FLogs.string());
    const THeldFile held(FRoot / "held-port");
    TXvfb x;
    const std::string error = RunAction(x, ShowLogViewer, [&] {
        const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
        ASSERT_TRUE(id);
        ExpectViewerHoldsNot(x, *id, held);
        const auto shown = WaitForPicture(x, *id, "log-action.png", 10s,
                                          [](const test::TImage& i) { return test::CountTextLines(i) == 4; });
        ASSERT_TRUE(shown);
        EXPECT_EQ(test::CountTextLines(*shown), 4);
        EXPECT_TRUE(test::PressEscape(x, *id));
    });
    EXPECT_EQ(error, "");
    EXPECT_TRUE(fs::is_empty(FTmp)) << "the viewer's private folder was left behind";
}

TEST_F(ViewerWindowTest, HelpWindowShowsTheRenderedHelp) {
    const THeldFile held(FRoot / "held-port");
    TXvfb x;
    const std::string error = RunAction(x, ShowHelp, [&] {
        const auto id = test::FindWindow(x, MessageText(TMessage::HelpCaption), 30s);
        ASSERT_TRUE(id) << "no window titled Справка";
        ExpectViewerHoldsNot(x, *id, held);
        // A page still loading is one flat colour; the help has headings, text and pictures.
        const auto shown = WaitForPicture(x, *id, "help.png", 20s,
                                          [](const test::TImage& i) { return test::InkShare(i) > 0.02; });
        ASSERT_TRUE(shown);
        EXPECT_GT(shown->Width, 300);
        EXPECT_GT(test::InkShare(*shown), 0.02) << "see help.png";
        EXPECT_TRUE(test::PressEscape(x, *id));
    });
    EXPECT_EQ(error, "");
    EXPECT_TRUE(fs::is_empty(FTmp)) << "a private folder was left behind";
}

// Share of pixels near the colour (AGrey, AGrey, AGrey).
double GreyShare(const test::TImage& AImage, int AGrey) {
    std::size_t near = 0;
    for (std::size_t i = 0; i + 2 < AImage.Rgb.size(); i += 3)
        if (std::abs(AImage.Rgb[i] - AGrey) + std::abs(AImage.Rgb[i + 1] - AGrey) +
                std::abs(AImage.Rgb[i + 2] - AGrey) <
            30)
            ++near;
    return AImage.Rgb.empty() ? 0.0 : static_cast<double>(near) * 3 / static_cast<double>(AImage.Rgb.size());
}

TEST_F(ViewerWindowTest, HelpWindowGoesBackAfterALinkWithAltLeftAndItsBackButton) {
    // A grey page that is one big link to a black one; an empty view is white, so each page is
    // known to be there, not just still loading.
    std::ofstream(FRoot / "a.html") << "<html><body style=\"margin:0;background:#808080\"><a href=\"b.html\" "
                                       "style=\"display:block;height:2000px\">&nbsp;</a></body></html>";
    std::ofstream(FRoot / "b.html")
        << "<html><body style=\"margin:0;background:#000;height:2000px\"></body></html>";
    TXvfb x;
    const std::string viewer = std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/quorvane-viewer";
    test::TChildProcess window({viewer, "help", (FRoot / "a.html").string(), "Страницы"}, x.Env());
    const auto id = test::FindWindow(x, "Страницы", 30s);
    ASSERT_TRUE(id);
    auto grey = [](const test::TImage& i) { return GreyShare(i, 128) > 0.6; };
    auto black = [](const test::TImage& i) { return GreyShare(i, 0) > 0.6; };
    ASSERT_TRUE(WaitForPicture(x, *id, "help-back-0.png", 20s, grey));

    for (const std::string way : {"Alt+Left", "the Back button"}) {
        ASSERT_TRUE(test::ClickAndType(x, *id, 300, 300, {}));
        auto shown = WaitForPicture(x, *id, "help-back-link.png", 10s, black);
        ASSERT_TRUE(shown);
        ASSERT_TRUE(black(*shown)) << "the link was not followed; see help-back-link.png";
        if (way == "Alt+Left")
            ASSERT_TRUE(PressKeys(x, *id, {"alt+Left"}));
        else
            ASSERT_TRUE(test::ClickAndType(x, *id, 18, 18, {}));
        shown = WaitForPicture(x, *id, "help-back-1.png", 10s, grey);
        ASSERT_TRUE(shown);
        EXPECT_TRUE(grey(*shown)) << way << " did not go back; see help-back-1.png";
    }
    ASSERT_TRUE(test::PressEscape(x, *id));
    EXPECT_TRUE(window.WaitExit(10s));
}

// Reads all a child wrote to the pipe until it closed it.
std::string ReadAll(int AFd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(AFd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    close(AFd);
    return text;
}

TEST_F(ViewerWindowTest, DoAdditionalActionThroughTheHostReturnsTrueOnceTheWindowIsClosed) {
    WriteLines(FLogs / "quorvane_2026.12.08.log", 2);
    TXvfb x;
    const std::string build = std::getenv("QUORVANE_BUILD_DIR");
    auto env = x.Env();
    env["QUORVANE_LOG_DIR"] = FLogs.string();
    env["TMPDIR"] = FTmp.string();

    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    test::TChildProcess host({build + "/tools/host/quorvane-host", "action", "ViewLog"}, env, fds[1],
                             STDOUT_FILENO);
    close(fds[1]);
    const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
    ASSERT_TRUE(id) << "no log window from DoAdditionalAction(\"ViewLog\")";
    const auto shown = WaitForPicture(x, *id, "log-host.png", 10s,
                                      [](const test::TImage& i) { return test::CountTextLines(i) == 2; });
    ASSERT_TRUE(shown);
    EXPECT_EQ(test::CountTextLines(*shown), 2);
    // Still waiting for the window: the action is modal.
    EXPECT_FALSE(host.WaitExit(500ms));
    ASSERT_TRUE(test::PressEscape(x, *id));
    const auto status = host.WaitExit(10s);
    ASSERT_TRUE(status) << "DoAdditionalAction did not return after the window closed";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(ReadAll(fds[0]), "Result: b:true\n");
    EXPECT_TRUE(fs::is_empty(FTmp));

    // Names are exact, and without a display the action fails at once instead of waiting.
    const auto wrongCase = test::RunTool({build + "/tools/host/quorvane-host", "action", "viewlog"}, env);
    EXPECT_FALSE(wrongCase);
    auto noDisplay = test::Environment({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"TMPDIR", FTmp.string()}});
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    test::TChildProcess helpless({build + "/tools/host/quorvane-host", "action", "ShowHelp"}, noDisplay,
                                 fds[1], STDERR_FILENO);
    close(fds[1]);
    const auto failed = helpless.WaitExit(20s);
    ASSERT_TRUE(failed);
    EXPECT_TRUE(WIFEXITED(*failed) && WEXITSTATUS(*failed) == 1);
    EXPECT_NE(ReadAll(fds[0]).find("DISPLAY"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(FTmp));
}

// Whether the process has ended (a zombie nobody reaps counts as ended).
bool ProcessEnded(pid_t APid) {
    std::ifstream stat("/proc/" + std::to_string(APid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto close = line.rfind(')');
    return close == std::string::npos || line.substr(close + 2, 1) == "Z";
}

TEST_F(ViewerWindowTest, TheViewerRunsFromANoexecTemporaryFolderLeavesNoFileAndEndsWithItsHost) {
    WriteLines(FLogs / "quorvane_2026.12.08.log", 2);
    // A temporary folder where programs may not run, where the system lets the test mount one.
    const fs::path noexec = FRoot / "noexec";
    fs::create_directories(noexec);
    const bool mounted =
        ::mount("tmpfs", noexec.c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID, "size=16m,mode=0700") == 0;
    struct TUnmount {
        bool Mounted;
        fs::path Path;
        ~TUnmount() {
            if (Mounted) ::umount2(Path.c_str(), MNT_DETACH);
        }
    } unmount{mounted, noexec};
    const fs::path tmp = mounted ? noexec : FTmp;
    const fs::path runtime = FRoot / "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    TXvfb x;
    auto env = x.Env();
    env["QUORVANE_LOG_DIR"] = FLogs.string();
    env["TMPDIR"] = tmp.string();
    env["XDG_RUNTIME_DIR"] = runtime.string();
    const std::string build = std::getenv("QUORVANE_BUILD_DIR");
    test::TChildProcess host({build + "/tools/host/quorvane-host", "action", "ViewLog"}, env);
    const auto id = test::FindWindow(x, MessageText(TMessage::LogViewerCaption), 20s);
    ASSERT_TRUE(id) << (mounted ? "no log window with a noexec TMPDIR" : "no log window");
    // The program's file went as soon as it ran: nothing to leave behind, whatever happens next.
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_TRUE(!fs::exists(runtime / "quorvane") || fs::is_empty(runtime / "quorvane"));

    const auto viewerPid = test::RunTool({"xdotool", "getwindowpid", *id}, env);
    ASSERT_TRUE(viewerPid);
    const pid_t viewer = static_cast<pid_t>(std::stol(*viewerPid));
    ASSERT_EQ(::kill(host.Pid(), SIGKILL), 0);  // the host only; the viewer must go by itself
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        std::this_thread::sleep_for(100ms);
        ended = ProcessEnded(viewer);
    }
    EXPECT_TRUE(ended) << "the viewer outlived its host";
    if (!mounted) GTEST_SKIP() << "no noexec folder could be mounted; the fallback folder was not exercised";
}

TEST_F(ViewerWindowTest, WithoutAUsableDisplayTheActionsFailAtOnce) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    for (void (*action)() : {ShowLogViewer, ShowHelp}) {
        try {
            action();
            ADD_FAILURE() << "no error without a display";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("DISPLAY"), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_empty(FTmp));

    // A display that is set but gone: the viewer's own error comes back, nothing hangs. Not the
    // number of a server we stopped: the next Xvfb on the machine (-displayfd takes the lowest
    // free number) may take it at once; one far above those, with no server, instead.
    std::string gone;
    for (int n = 4000; gone.empty(); ++n)
        if (!fs::exists("/tmp/.X" + std::to_string(n) + "-lock") &&
            !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            gone = ":" + std::to_string(n);
    setenv("DISPLAY", gone.c_str(), 1);
    SetLogDirectory(FLogs.string());
    for (void (*action)() : {ShowLogViewer, ShowHelp}) {
        try {
            action();
            ADD_FAILURE() << "no error on a display that is gone";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("cannot open the display"), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_empty(FTmp));

    // A host whose other threads start processes: a child forked while the program was being
    // written holds it open for writing a moment, and the start must not fail on that.
    std::atomic<bool> forking = true;
    std::thread forker([&] {
        std::vector<pid_t> children;  // only its own: the viewer is the action's to wait for
        while (forking) {
            const pid_t child = fork();
            if (child == 0) {
                usleep(20'000);
                _exit(0);
            }
            if (child > 0) children.push_back(child);
            std::erase_if(children, [](pid_t c) { return waitpid(c, nullptr, WNOHANG) == c; });
            usleep(200);
        }
        for (pid_t c : children) waitpid(c, nullptr, 0);
    });
    for (int i = 0; i < 20; ++i) {
        try {
            ShowLogViewer();
            ADD_FAILURE() << "no error on a display that is gone";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("cannot open the display"), std::string::npos) << e.what();
        }
    }
    forking = false;
    forker.join();
    EXPECT_TRUE(fs::is_empty(FTmp));
}

}  // namespace
}  // namespace quorvane
