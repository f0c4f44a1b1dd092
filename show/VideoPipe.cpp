#include "show/VideoPipe.h"

#include "platform/AtomicFile.h"
#include "platform/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

VideoPipe::~VideoPipe() {
    std::string ignored;
    close(ignored);
}

std::string VideoPipe::findProgram(const char* name) {
    const std::string& directories = settings().path;
    size_t start = 0;
    while (start <= directories.size()) {
        size_t end = directories.find(':', start);
        if (end == std::string::npos) end = directories.size();
        const std::string directory = end > start ? directories.substr(start, end - start) : std::string(".");
        char candidate[4096];
        std::snprintf(candidate, sizeof candidate, "%s/%s", directory.c_str(), name);
        struct stat info {};
        if (::stat(candidate, &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate, X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

bool VideoPipe::open(const std::string& outPath, double framesPerSecond, const VideoSound& sound,
                     std::string& error, int width, int height) {
    const std::string ffmpeg = findProgram("ffmpeg");
    if (ffmpeg.empty()) {
        error = "--video needs ffmpeg, which is not installed (on Debian: apt-get install ffmpeg)";
        return false;
    }
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.6g", framesPerSecond);
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-f", "rawvideo", "-pixel_format", "rgba", "-video_size", size,
                                     "-framerate", rate, "-i", "pipe:0"};
    char start[32], length[32];
    std::snprintf(start, sizeof start, "%.6f", sound.startSeconds < 0.0 ? -sound.startSeconds : sound.startSeconds);
    std::snprintf(length, sizeof length, "%.6f", sound.lengthSeconds);
    if (!sound.path.empty() && sound.loop) {
        // The renderer loops the sound; so does the video's sound track.
        args.insert(args.end(), {"-stream_loop", "-1", "-i", sound.path});
    } else if (!sound.path.empty()) {
        // Late in the show: delayed; early: its first part cut.
        args.insert(args.end(), {sound.startSeconds < 0.0 ? "-ss" : "-itsoffset", start, "-i", sound.path});
    }
    // yuv420p needs an even width and height: an odd size loses its last column or row.
    const bool odd = (width | height) & 1;
    args.insert(args.end(), {"-vf", odd ? "vflip,crop=trunc(iw/2)*2:trunc(ih/2)*2:0:0" : "vflip", "-c:v", "libx264",
                             "-pix_fmt", "yuv420p"});
    if (!sound.path.empty() && sound.loop) args.insert(args.end(), {"-c:a", "aac", "-shortest"});
    if (!sound.path.empty() && !sound.loop) args.insert(args.end(), {"-c:a", "aac", "-af", "apad", "-t", length});
    args.push_back(outPath);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        // ffmpeg's own messages go to standard error, never into our output.
        ::dup2(pipeFds[0], 0);
        ::dup2(2, 1);
        ::execv(argv[0], argv.data());
        std::fprintf(stderr, "strata-render: cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(pipeFds[0]);
    fd_ = pipeFds[1];
    child_ = child;
    return true;
}

bool VideoPipe::write(const uint8_t* rgba, size_t bytes) { return fd_ >= 0 && writeAll(fd_, rgba, bytes); }

bool VideoPipe::close(std::string& error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (child_ < 0) return true;
    int status = 0;
    while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    char text[96];
    if (WIFEXITED(status))
        std::snprintf(text, sizeof text, "ffmpeg failed (exit status %d); its messages are above", WEXITSTATUS(status));
    else
        std::snprintf(text, sizeof text, "ffmpeg failed (signal %d); its messages are above", WTERMSIG(status));
    error = text;
    return false;
}
