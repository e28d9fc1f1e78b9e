#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::test {

// A child process in its own process group; the whole group is ended when the object goes,
// so helpers it started (WebKit's) go with it even when a test fails half-way.
class TChildProcess {
public:
    TChildProcess(const std::vector<std::string>& AArgv, const std::map<std::string, std::string>& AEnv,
                  int AFdForChild = -1, int AFdNumberInChild = -1);
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // The exit status once it has exited within the time; nullopt otherwise.
    std::optional<int> WaitExit(std::chrono::milliseconds ATimeout);
    void Stop();
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    bool FDone = false;
};

// The environment of this process with some variables replaced ("" removes one).
std::map<std::string, std::string> Environment(const std::map<std::string, std::string>& AChanges);

// A private X server (Xvfb) on a free display number, stopped with the object.
class TXvfb {
public:
    TXvfb();
    const std::string& Display() const { return FDisplay; }
    std::map<std::string, std::string> Env() const {
        return Environment({{"DISPLAY", FDisplay}, {"WAYLAND_DISPLAY", ""}});
    }
    void Stop() { FServer.reset(); }

private:
    std::optional<TChildProcess> FServer;
    std::string FDisplay;
};

// Runs a tool to its end; its standard output, or nullopt when it failed.
std::optional<std::string> RunTool(const std::vector<std::string>& AArgv,
                                   const std::map<std::string, std::string>& AEnv);

// The id of the first window whose title is exactly ATitle, waiting for it to appear.
std::optional<std::string> FindWindow(const TXvfb& AX, const std::string& ATitle,
                                      std::chrono::milliseconds ATimeout);

// Closes the window the way a person would, with Escape.
bool PressEscape(const TXvfb& AX, const std::string& AWindow);

// A left click at a point of the window, then the keys (xdotool names) in turn.
bool ClickAndType(const TXvfb& AX, const std::string& AWindow, int AX0, int AY0,
                  const std::vector<std::string>& AKeys);

// An RGB screenshot of one window.
struct TImage {
    int Width = 0;
    int Height = 0;
    std::vector<unsigned char> Rgb;
    const unsigned char* At(int x, int y) const {
        return &Rgb[(static_cast<std::size_t>(y) * Width + x) * 3];
    }
};
// Takes it, also keeping a PNG named APngName under the build folder for people to look at.
std::optional<TImage> Screenshot(const TXvfb& AX, const std::string& AWindow, const std::string& APngName);

// Lines of text in the white text area below the tool bar: runs of rows holding dark pixels.
int CountTextLines(const TImage& AImage);

// Share of pixels that are clearly not the page background (the most frequent colour).
double InkShare(const TImage& AImage);

}  // namespace quorvane::test
