#include "tests/viewer/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "tests/common/files.h"

extern char** environ;

namespace quorvane::test {

namespace {

std::vector<char*> CStrings(std::vector<std::string>& AStrings) {
    std::vector<char*> out;
    for (std::string& s : AStrings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

std::string ScreensFolder() {
    const char* build = std::getenv("QUORVANE_BUILD_DIR");
    const std::string folder = std::string(build != nullptr ? build : ".") + "/tests/viewer/screens";
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace

std::map<std::string, std::string> Environment(const std::map<std::string, std::string>& AChanges) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : AChanges) {
        if (value.empty())
            env.erase(name);
        else
            env[name] = value;
    }
    return env;
}

TChildProcess::TChildProcess(const std::vector<std::string>& AArgv,
                             const std::map<std::string, std::string>& AEnv, int AFdForChild,
                             int AFdNumberInChild) {
    // Everything the child needs is built before the fork: only exec-safe calls after it.
    std::vector<std::string> args = AArgv;
    std::vector<std::string> env;
    for (const auto& [name, value] : AEnv) env.push_back(name + "=" + value);
    std::vector<char*> argv = CStrings(args), envp = CStrings(env);
    const pid_t parent = getpid();
    FPid = fork();
    if (FPid < 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(errno));
    if (FPid == 0) {
        setpgid(0, 0);
        // Also ended when the test itself is killed (a time-out), which no destructor sees.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, STDIN_FILENO);
        if (AFdForChild >= 0) dup2(AFdForChild, AFdNumberInChild);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    setpgid(FPid, FPid);
}

TChildProcess::~TChildProcess() { Stop(); }

std::optional<int> TChildProcess::WaitExit(std::chrono::milliseconds ATimeout) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    for (;;) {
        int status = 0;
        if (waitpid(FPid, &status, WNOHANG) == FPid) {
            FDone = true;
            kill(-FPid, SIGKILL);  // whatever it left in its group
            return status;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void TChildProcess::Stop() {
    if (FPid <= 0 || FDone) return;
    kill(-FPid, SIGTERM);
    if (!WaitExit(std::chrono::seconds(3))) {
        kill(-FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FDone = true;
    }
}

TXvfb::TXvfb() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    // -displayfd: the server picks a free display and writes its number when it is ready.
    FServer.emplace(std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24",
                                             "-nolisten", "tcp", "-noreset"},
                    Environment({}), fds[1], 3);
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not start");
    FDisplay = ":" + number;
}

std::optional<std::string> RunTool(const std::vector<std::string>& AArgv,
                                   const std::map<std::string, std::string>& AEnv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    TChildProcess child(AArgv, AEnv, fds[1], STDOUT_FILENO);
    close(fds[1]);
    // A tool that hangs is ended at the deadline rather than hanging the test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string out;
    char buffer[4096];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) break;
    }
    close(fds[0]);
    const std::optional<int> status = child.WaitExit(std::chrono::seconds(1));
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return std::nullopt;
    return out;
}

std::optional<std::string> FindWindow(const TXvfb& AX, const std::string& ATitle,
                                      std::chrono::milliseconds ATimeout) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    do {
        const auto out = RunTool({"xdotool", "search", "--name", "^" + ATitle + "$"}, AX.Env());
        if (out && !out->empty()) return out->substr(0, out->find('\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool PressEscape(const TXvfb& AX, const std::string& AWindow) {
    return RunTool({"xdotool", "windowfocus", "--sync", AWindow, "key", "Escape"}, AX.Env()).has_value();
}

bool ClickAndType(const TXvfb& AX, const std::string& AWindow, int AX0, int AY0,
                  const std::vector<std::string>& AKeys) {
    if (!RunTool({"xdotool", "mousemove", "--window", AWindow, std::to_string(AX0), std::to_string(AY0),
                  "click", "1"},
                 AX.Env()))
        return false;
    for (const std::string& key : AKeys) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the menu opens, the item shows
        if (!RunTool({"xdotool", "key", key}, AX.Env())) return false;
    }
    return true;
}

std::optional<TImage> Screenshot(const TXvfb& AX, const std::string& AWindow, const std::string& APngName) {
    // One capture, judged by the test and kept as PNG, so people see what was judged.
    const std::string png = ScreensFolder() + "/" + APngName;
    const std::string raw = png + ".ppm";
    if (!RunTool({"import", "-window", AWindow, "-depth", "8", raw}, AX.Env())) return std::nullopt;
    RunTool({"convert", raw, png}, AX.Env());
    const std::optional<std::string> ppm = test::ReadFile(raw);
    std::filesystem::remove(raw);
    // P6 <width> <height> <maxval> then the samples.
    TImage image;
    int maxval = 0;
    int consumed = 0;
    if (std::sscanf(ppm->c_str(), "P6 %d %d %d%n", &image.Width, &image.Height, &maxval, &consumed) != 3 ||
        maxval != 255)
        return std::nullopt;
    const std::size_t start = static_cast<std::size_t>(consumed) + 1;
    const std::size_t size = static_cast<std::size_t>(image.Width) * image.Height * 3;
    if (ppm->size() < start + size) return std::nullopt;
    image.Rgb.assign(ppm->begin() + static_cast<std::ptrdiff_t>(start),
                     ppm->begin() + static_cast<std::ptrdiff_t>(start + size));
    return image;
}

int CountTextLines(const TImage& AImage) {
    auto white = [](const unsigned char* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; };
    auto dark = [](const unsigned char* p) { return p[0] + p[1] + p[2] < 300; };
    // The tool bar is grey; the text area starts where its right-hand end turns white.
    int top = 0;
    while (top < AImage.Height && !white(AImage.At(AImage.Width - 20, top))) ++top;
    // Left out: the caret at the left edge and the scroll bars at the right and bottom.
    int lines = 0;
    bool inLine = false;
    for (int y = top; y < AImage.Height - 14; ++y) {
        bool ink = false;
        for (int x = 3; x < AImage.Width - 14 && !ink; ++x) ink = dark(AImage.At(x, y));
        if (ink && !inLine) ++lines;
        inLine = ink;
    }
    return lines;
}

double InkShare(const TImage& AImage) {
    std::unordered_map<unsigned, std::size_t> counts;
    const std::size_t pixels = static_cast<std::size_t>(AImage.Width) * AImage.Height;
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned char* p = &AImage.Rgb[i * 3];
        ++counts[(p[0] << 16) | (p[1] << 8) | p[2]];
    }
    unsigned background = 0;
    std::size_t most = 0;
    for (const auto& [colour, count] : counts)
        if (count > most) most = count, background = colour;
    const int br = background >> 16, bg = (background >> 8) & 0xFF, bb = background & 0xFF;
    std::size_t ink = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned char* p = &AImage.Rgb[i * 3];
        if (std::abs(p[0] - br) + std::abs(p[1] - bg) + std::abs(p[2] - bb) > 120) ++ink;
    }
    return pixels == 0 ? 0.0 : static_cast<double>(ink) / static_cast<double>(pixels);
}

}  // namespace quorvane::test
