// tests/support/Recorder.cpp: the alert recorder and the trace capture.
#include "tests/support/Recorder.h"

#include "platform/support/Trace.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

AlertRecorder::AlertRecorder()
    : fPrevious(set_alert_service(this))
{
}

AlertRecorder::~AlertRecorder()
{
    set_alert_service(fPrevious);
}

int32 AlertRecorder::Show(const AlertRequest& request)
{
    alerts.push_back(request);
    return 0;
}

std::vector<std::string> AlertRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const AlertRequest& alert : alerts)
        texts.push_back(alert.text);
    return texts;
}

void AlertRecorder::Clear()
{
    alerts.clear();
    beeps = 0;
}

TraceCapture::TraceCapture()
{
    trace_flush();
    char name[] = "/tmp/orvalin-trace-XXXXXX";
    fFile = ::mkstemp(name);
    fPath = name;
    fSaved = ::dup(STDOUT_FILENO);
    ::dup2(fFile, STDOUT_FILENO);
}

TraceCapture::~TraceCapture()
{
    trace_flush();
    ::dup2(fSaved, STDOUT_FILENO);
    // Hand everything on to the real output: googletest reports failures on standard output
    // too, and they must not vanish with the trace.
    char buffer[65536];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(fFile, buffer, sizeof buffer, at)) > 0) {
        if (::write(STDOUT_FILENO, buffer, n) != n)
            break;
        at += n;
    }
    ::close(fSaved);
    ::close(fFile);
    ::unlink(fPath.c_str());
}

std::string TraceCapture::Take()
{
    trace_flush();
    std::string all;
    char buffer[65536];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(fFile, buffer, sizeof buffer, at)) > 0) {
        all.append(buffer, n);
        at += n;
    }
    std::string fresh = all.substr(fTaken);
    fTaken = all.size();
    return fresh;
}
