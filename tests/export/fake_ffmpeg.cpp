// A stand-in for the ffmpeg executable in the export tests. It records every run and behaves
// as asked through environment variables:
//   FAKE_FFMPEG_LOG          file that gets one line per event, appended:
//                            "start\t<arg>\t<arg>..." when it starts, and
//                            "end\t<stdin bytes>\t<fnv-1a hash of stdin, hex>\t<arg>..." when it
//                            has read its input (arguments are separated by tabs);
//                            default: "fake_ffmpeg.log" beside the output file.
//   FAKE_FFMPEG_MATCH        the misbehaviours below apply only to runs whose arguments
//                            joined by blanks contain this text (all runs when unset).
//   FAKE_FFMPEG_EXIT         exit code after a normal run.
//   FAKE_FFMPEG_CRASH_AFTER  abort once this many bytes of input were read (writes a
//                            "crash" event first).
//   FAKE_FFMPEG_HANG         once this many bytes of input were read, stop reading and sleep
//                            (until killed), after a "pid\t<process id>" and a "hang" event.
//   FAKE_FFMPEG_HANG_AT_END  once the whole input was read, sleep (until killed) after the
//                            "pid" and "hang" events, as ffmpeg stuck finishing its output.
//   FAKE_FFMPEG_NO_OUTPUT    create no output file.
//   FAKE_FFMPEG_EMPTY_OUTPUT create the output file empty.
//   FAKE_FFMPEG_SAVE_INPUT   file that gets a copy of everything read from standard input
//                            (overwritten by each run that reads its input).
// The output is the last argument. An image pattern ("name.%4d.png") makes one file per
// picture read (the picture size from "-s" and "-pix_fmt"), numbered from "-start_number".
// An input file ("-i path", not "-") that does not exist ends the run with code 1, as ffmpeg.
// "-version" prints a version line; with FAKE_FFMPEG_VERSION_HANG set it sleeps instead
// (until killed).
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool FileExists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

void Record(const std::string& logPath, const std::string& line)
{
    std::ofstream log(logPath, std::ios::app | std::ios::binary);
    log << line << '\n';
}

std::string Joined(const std::vector<std::string>& args, char separator)
{
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i)
            text += separator;
        text += args[i];
    }
    return text;
}

std::string Value(const std::vector<std::string>& args, const std::string& option)
{
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == option)
            return args[i + 1];
    return "";
}

// "%Nd" in an image pattern: the position, the digits and the length of the sequence.
bool FindNumberSequence(const std::string& pattern, size_t& at, int& digits, size_t& length)
{
    for (size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        if (pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        int n = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9')
            n = n * 10 + (pattern[j++] - '0');
        if (j < pattern.size() && pattern[j] == 'd') {
            at = i;
            digits = n;
            length = j + 1 - i;
            return true;
        }
    }
    return false;
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%')
            ++i;
    }
    return out;
}

int64_t PictureBytes(const std::vector<std::string>& args)
{
    const std::string size = Value(args, "-s");
    const std::string format = Value(args, "-pix_fmt");
    const size_t x = size.find('x');
    if (x == std::string::npos)
        return 0;
    const int64_t w = std::atoll(size.substr(0, x).c_str());
    const int64_t h = std::atoll(size.substr(x + 1).c_str());
    if (format == "rgb24")
        return w * h * 3;
    if (format == "rgba")
        return w * h * 4;
    if (format == "yuv420p")
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2); // chroma planes rounded up, as ffmpeg
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "-version") {
        if (!Env("FAKE_FFMPEG_VERSION_HANG").empty())
            for (;;)
                std::this_thread::sleep_for(std::chrono::seconds(1));
        std::printf("ffmpeg version fake-1.0 Copyright (c) the test suite\nbuilt for tests\n");
        return 0;
    }
    if (args.empty())
        return 1;
    const std::string output = args.back();
    std::string logPath = Env("FAKE_FFMPEG_LOG");
    if (logPath.empty())
        logPath = Folder(output) + "/fake_ffmpeg.log";
    Record(logPath, "start\t" + Joined(args, '\t'));

    const std::string match = Env("FAKE_FFMPEG_MATCH");
    const bool misbehave = match.empty() || Joined(args, ' ').find(match) != std::string::npos;
    const int exitCode = misbehave ? std::atoi(Env("FAKE_FFMPEG_EXIT").c_str()) : 0;
    const std::string crashAfterText = misbehave ? Env("FAKE_FFMPEG_CRASH_AFTER") : "";
    const int64_t crashAfter = crashAfterText.empty() ? -1 : std::atoll(crashAfterText.c_str());
    const std::string hangText = misbehave ? Env("FAKE_FFMPEG_HANG") : "";
    const int64_t hangAfter = hangText.empty() ? -1 : std::atoll(hangText.c_str());
    const bool hangAtEnd = misbehave && !Env("FAKE_FFMPEG_HANG_AT_END").empty();
    const bool noOutput = misbehave && !Env("FAKE_FFMPEG_NO_OUTPUT").empty();
    const bool emptyOutput = misbehave && !Env("FAKE_FFMPEG_EMPTY_OUTPUT").empty();

    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-i" && args[i + 1] != "-" && !FileExists(args[i + 1])) {
            std::fprintf(stderr, "%s: No such file or directory\n", args[i + 1].c_str());
            Record(logPath, "end\t0\t0\t" + Joined(args, '\t'));
            return 1;
        }

    const bool readsInput = Value(args, "-i") == "-";
    int64_t bytes = 0;
    uint64_t hash = 1469598103934665603ull;
    if (readsInput) {
        const std::string savePath = Env("FAKE_FFMPEG_SAVE_INPUT");
        std::ofstream saved;
        if (!savePath.empty())
            saved.open(savePath, std::ios::binary | std::ios::trunc);
        std::vector<char> buffer(1 << 16);
        const auto hang = [&] {
            Record(logPath, "pid\t" + std::to_string(getpid()));
            Record(logPath, "hang\t" + Joined(args, '\t'));
            for (;;)
                std::this_thread::sleep_for(std::chrono::seconds(1));
        };
        for (;;) {
            if (hangAfter >= 0 && bytes >= hangAfter)
                hang();
            const ssize_t got = read(STDIN_FILENO, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            for (ssize_t k = 0; k < got; ++k) {
                hash ^= static_cast<unsigned char>(buffer[static_cast<size_t>(k)]);
                hash *= 1099511628211ull;
            }
            bytes += got;
            if (saved.is_open())
                saved.write(buffer.data(), got);
            if (crashAfter >= 0 && bytes >= crashAfter) {
                std::fprintf(stderr, "fake ffmpeg: crashing after %lld bytes\n", static_cast<long long>(bytes));
                Record(logPath, "crash\t" + Joined(args, '\t'));
                std::signal(SIGABRT, SIG_DFL);
                std::abort();
            }
        }
        if (hangAtEnd)
            hang();
    }
    char hashText[32];
    std::snprintf(hashText, sizeof(hashText), "%016llx", static_cast<unsigned long long>(hash));
    Record(logPath, "end\t" + std::to_string(bytes) + "\t" + hashText + "\t" + Joined(args, '\t'));

    if (!noOutput) {
        size_t at = 0, length = 0;
        int digits = 0;
        if (FindNumberSequence(output, at, digits, length)) {
            const int64_t picture = PictureBytes(args);
            const int64_t pictures = picture > 0 ? bytes / picture : 0;
            const int start = std::atoi(Value(args, "-start_number").c_str());
            for (int64_t k = 0; k < pictures; ++k) {
                std::string number = std::to_string(start + k);
                if (static_cast<int>(number.size()) < digits)
                    number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
                const std::string name =
                    Unescape(output.substr(0, at)) + number + Unescape(output.substr(at + length));
                std::ofstream(name, std::ios::binary) << "picture";
            }
        } else {
            std::ofstream file(output, std::ios::binary | std::ios::trunc);
            if (!emptyOutput)
                file << "fake output of " << bytes << " bytes\n";
        }
    }
    if (exitCode != 0)
        std::fprintf(stderr, "fake ffmpeg: failing with code %d\n", exitCode);
    return exitCode;
}
