// tests/support/Child.h: runs a check in a forked child, optionally dropped to uid/gid 65534,
// with a watchdog so that a hang fails the test instead of stalling it.
#pragma once

#include "platform/support/SupportDefs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

enum class ChildUser { Same, Nobody };

// Runs body in a child process and returns the status it produced, or nothing (after failing
// the test) when the child could not drop its privileges, died, or ran past watchdogSeconds.
inline std::optional<status_t> run_in_child(
    ChildUser user, const std::function<status_t()>& body, unsigned watchdogSeconds = 60)
{
    const int32 kCannotDrop = 0x7EADBEEF;
    int channel[2];
    if (::pipe(channel) != 0) {
        ADD_FAILURE() << "pipe failed";
        return std::nullopt;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        ::close(channel[0]);
        ::close(channel[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(channel[0]);
        ::alarm(watchdogSeconds);
        status_t result = kCannotDrop;
        if (user == ChildUser::Same
            || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0
                && ::getuid() == 65534 && ::geteuid() == 65534))
            result = body();
        ssize_t written = ::write(channel[1], &result, sizeof(result));
        ::_exit(written == sizeof(result) ? 0 : 1);
    }
    ::close(channel[1]);
    status_t result = 0;
    ssize_t got = ::read(channel[0], &result, sizeof(result));
    ::close(channel[0]);
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    if (WIFSIGNALED(wstatus)) {
        ADD_FAILURE() << "the child died by signal " << WTERMSIG(wstatus)
                      << (WTERMSIG(wstatus) == SIGALRM ? " (it hung)" : "");
        return std::nullopt;
    }
    if (got != sizeof(result)) {
        ADD_FAILURE() << "the child reported nothing";
        return std::nullopt;
    }
    if (result == kCannotDrop) {
        ADD_FAILURE() << "the child could not drop to uid/gid 65534 (the test needs root)";
        return std::nullopt;
    }
    return result;
}
