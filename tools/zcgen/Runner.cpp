#include "Runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "Compiler.h"
#include "Format.h"
#include "HostCall.h"
#include "Instance.h"

namespace zcgen {

namespace {

std::string g_printed;

int Print(const char* format, scVarArgs args) {
    std::string error;
    std::vector<char> out(65536);
    int n = scFormat(out.data(), out.size(), format, args, &error);
    if (n < 0) throw std::runtime_error(error);
    g_printed += out.data();
    return n;
}

struct Child {
    int status = 0;        // from waitpid
    bool timedOut = false;
    std::string data;      // everything the child wrote to the pipe
};

void WriteAll(int fd, const std::string& s) {
    size_t at = 0;
    while (at < s.size()) {
        ssize_t n = write(fd, s.data() + at, s.size() - at);
        if (n <= 0) return;
        at += size_t(n);
    }
}

// Runs `body` in a child that writes to the given descriptor; reads it all
// until the child closes it or the deadline passes (then kills it).
Child RunChild(const std::function<void(int)>& body, int seconds) {
    Child c;
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        body(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buf[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            c.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int r = poll(&p, 1, int(std::min<long long>(left, 1000)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        c.data.append(buf, size_t(n));
    }
    close(fds[0]);
    while (waitpid(pid, &c.status, 0) < 0 && errno == EINTR) {
    }
    return c;
}

// In a child: runs `argv` with its output to `out` and its errors to `errors`.
[[noreturn]] void Exec(const std::vector<std::string>& argv, int out, int errors) {
    dup2(out, 1);
    dup2(errors, 2);
    std::vector<char*> v;
    for (const std::string& a : argv) v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    execvp(v[0], v.data());
    _exit(127);
}

// Runs `argv` with a deadline; its errors go to `errorFile`.
Child RunCommand(const std::vector<std::string>& argv, const std::string& errorFile, int seconds) {
    return RunChild(
        [&](int fd) {
            int errors = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            Exec(argv, fd, errors < 0 ? fd : errors);
        },
        seconds);
}

std::string FileText(const std::string& path) {
    std::string s;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

std::string SignalText(int status) {
    if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
    return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

const char* KindName(Outcome::Kind k) {
    switch (k) {
    case Outcome::ran: return "ran";
    case Outcome::compileError: return "compile error";
    case Outcome::runtimeError: return "runtime error";
    case Outcome::crashed: return "crash";
    case Outcome::timedOut: return "timeout";
    }
    return "?";
}

std::string ErrorText(const std::string& message) {
    size_t at = message.find(") ");
    if (!message.empty() && at != std::string::npos && message.find('(') < at) return message.substr(at + 2);
    return message;
}

Outcome RunScript(const std::string& path, long long instructions, int seconds) {
    static const bool registered = [] {
        scRegister_Host_Symbol("print", Print);
        return true;
    }();
    (void)registered;
    Child c = RunChild(
        [&](int fd) {
            g_printed.clear();
            char kind = 'r';
            std::string message;
            scScript image = scCompile_File(path.c_str());
            if (!image) {
                kind = 'c';
                message = scLast_Error ? scLast_Error_Text : "cannot open " + path;
            } else if (scInstance* inst = scCreate_Instance(image)) {
                scSet_Instruction_Budget(inst, instructions);
                zedi::ClearError();
                scVCall_Instance(inst, scGet_Symbol(inst, "main"), 0, nullptr);
                if (scLast_Error) {
                    kind = 'e';
                    message = scLast_Error_Text;
                }
            } else {
                kind = 'e';
                message = std::string("cannot create an instance: ") + scLast_Error_Text;
            }
            WriteAll(fd, std::string(1, kind) + std::to_string(message.size()) + "\n" + message + g_printed);
        },
        seconds);
    Outcome o;
    if (c.timedOut) {
        o.kind = Outcome::timedOut;
        o.message = "no answer within " + std::to_string(seconds) + " s";
        return o;
    }
    size_t nl = c.data.find('\n');
    if (!WIFEXITED(c.status) || WEXITSTATUS(c.status) != 0 || c.data.empty() || nl == std::string::npos) {
        o.kind = Outcome::crashed;
        o.message = SignalText(c.status);
        return o;
    }
    size_t length = std::strtoul(c.data.c_str() + 1, nullptr, 10);
    o.message = c.data.substr(nl + 1, length);
    o.out = c.data.substr(nl + 1 + length);
    o.kind = c.data[0] == 'c' ? Outcome::compileError : c.data[0] == 'e' ? Outcome::runtimeError : Outcome::ran;
    return o;
}

namespace {

// One step of a `zedi` command: false, with the outcome filled in, when it
// did not end well.
bool StepEnded(const Child& c, const std::string& step, const std::string& errorFile, int seconds, Outcome& o) {
    if (c.timedOut) {
        o.kind = Outcome::timedOut;
        o.message = step + "gave no answer within " + std::to_string(seconds) + " s";
    } else if (WIFSIGNALED(c.status)) {
        o.kind = Outcome::crashed;
        o.message = step + SignalText(c.status);
    } else if (WEXITSTATUS(c.status) != 0) {
        o.kind = step.empty() ? Outcome::runtimeError : Outcome::compileError;
        o.message = FileText(errorFile);
    } else {
        return true;
    }
    return false;
}

}  // namespace

Outcome RunScriptCommand(const std::string& zedi, const std::string& path, const std::string& work, int seconds) {
    Outcome o;
    std::string image = work + ".so", errors = work + ".err";
    Child build = RunCommand({zedi, "compile", path, "-o", image}, errors, seconds);
    if (!StepEnded(build, "the compile: ", errors, seconds, o)) return o;
    Child run = RunCommand({zedi, "run", image, "main"}, errors, seconds);
    o.out = run.data;
    if (!StepEnded(run, "", errors, seconds, o)) return o;
    // `zedi run` ends with a line of main's result, which g++'s program does not print.
    size_t end = !o.out.empty() && o.out.back() == '\n' ? o.out.size() - 1 : o.out.size();
    size_t start = end;
    while (start > 0 && o.out[start - 1] != '\n') start--;
    o.out.erase(start);
    return o;
}

Outcome RunNative(const std::string& cxx, const std::vector<std::string>& options, const std::string& path,
                  const std::string& exe, int seconds) {
    Outcome o;
    std::vector<std::string> args{cxx};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"-x", "c++", path, "-o", exe});
    Child build = RunChild([&](int fd) { Exec(args, fd, fd); }, 600);
    if (build.timedOut || !WIFEXITED(build.status) || WEXITSTATUS(build.status) != 0) {
        o.kind = Outcome::compileError;
        o.message = build.data.empty() ? SignalText(build.status) : build.data;
        return o;
    }
    Child run = RunChild([&](int fd) { Exec({exe}, fd, fd); }, seconds);
    o.out = run.data;
    if (run.timedOut) {
        o.kind = Outcome::timedOut;
    } else if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        o.kind = WIFSIGNALED(run.status) ? Outcome::crashed : Outcome::runtimeError;
        o.message = SignalText(run.status);
    }
    return o;
}

}  // namespace zcgen
