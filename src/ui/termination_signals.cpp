#include "ui/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace ui::termination {

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_count = 0;
volatile sig_atomic_t g_last = 0;

extern "C" void OnSignal(int sig) {
    const int saved = errno;
    g_last = sig;
    // The handlers block each other, so the count cannot be torn.
    g_count = g_count + 1;
    // SIGALRM's default action ends the process: the backstop when the loop does not answer.
    if (g_count >= 2) ::alarm(kGraceSeconds);
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

int Install() {
    if (g_pipe[0] >= 0) return g_pipe[0];
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    ::signal(SIGALRM, SIG_DFL);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&action.sa_mask, sig);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &action, nullptr);
    return g_pipe[0];
}

int Drain() {
    char buffer[64];
    while (g_pipe[0] >= 0 && ::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    return g_count;
}

int LastSignal() { return g_last; }

void Reset() {
    ::alarm(0);
    g_count = 0;
}

}  // namespace ui::termination
